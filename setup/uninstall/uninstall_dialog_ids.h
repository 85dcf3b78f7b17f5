#ifndef TF_UNINSTALL_DIALOG_IDS_H
#define TF_UNINSTALL_DIALOG_IDS_H
/* Dialog 220 and its controls: shared by uninstall_dialog.rc and the code. */
#define IDD_UNINSTALL 220
#define IDC_UNINSTALL_TEXT 221
#define IDC_UNINSTALL_ALSO_SAVES 222
#define IDC_UNINSTALL_PROGRESS 208
#endif
