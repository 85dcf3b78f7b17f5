/* Dialog 200, the install dialog: its control ids, shared by the resource
   script and the code. Plain defines, so that windres reads it too. */
#ifndef TF_INSTALL_DIALOG_IDS_H
#define TF_INSTALL_DIALOG_IDS_H

#define IDD_INSTALL 200
#define IDC_DISC_PATH 201
#define IDC_DISC_BROWSE 202
#define IDC_FOLDER_PATH 203
#define IDC_FOLDER_BROWSE 204
#define IDC_DESKTOP_SHORTCUT 205
#define IDC_START_MENU_SHORTCUT 206
#define IDC_STATUS 207
#define IDC_PROGRESS 208
#define IDC_INSTALL 209
#define IDC_INTRO 210
#define IDC_DISC_LABEL 211
#define IDC_FOLDER_LABEL 212
#define IDC_BUILD_ANDROID 213

#endif
