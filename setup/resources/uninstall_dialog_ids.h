/* Dialog 220, the uninstall dialog: its control ids, shared by the resource
   script and the code. Plain defines, so that windres reads it too. */
#ifndef TF_UNINSTALL_DIALOG_IDS_H
#define TF_UNINSTALL_DIALOG_IDS_H

#define IDD_UNINSTALL 220
#define IDC_UNINSTALL_TEXT 221
#define IDC_UNINSTALL_ALSO_SAVES 222
#define IDC_UNINSTALL_PROGRESS 208
#endif
