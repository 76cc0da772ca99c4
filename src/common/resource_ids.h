/* Resource and control identifiers, shared by res/panvester.rc, res/uninst.rc and the code.
   Plain defines: the resource compiler reads this file too. */
#pragma once

#define IDI_PANVESTER 104

/* MAINDIALOG: nine button slots, Button1 .. Button9. */
#define IDC_SLOT1 1000
#define IDC_SLOT2 1001
#define IDC_SLOT3 1002
#define IDC_SLOT4 1003
#define IDC_SLOT5 1004
#define IDC_SLOT6 1005
#define IDC_SLOT7 1006
#define IDC_SLOT8 1007
#define IDC_SLOT9 1008

/* SETUP: the folder's edit box and the browse button. */
#define IDC_FOLDER_EDIT 1000
#define IDC_FOLDER_BROWSE 1021

/* COPYINGDELUX and UNINSTALLING: a bar and a name line; the copy dialog adds the archive's
   bar and the animation. */
#define IDC_FILE_BAR 1010
#define IDC_FILE_NAME 1012
#define IDC_OVERALL_BAR 1019
#define IDC_COPY_ANIMATION 1020

/* MAKESHORTCUT's desktop box and ENDINSTALL_VISTA's readme box. */
#define IDC_CHECK_BOX 1007
/* The start box of the end dialog; no template has it, so it is never shown. */
#define IDC_START_BOX 1009
