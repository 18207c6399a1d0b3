#pragma once
// Resource and control numbers, shared by resources/Installer.rc and the code. Plain
// macros, because the resource compiler reads this file too.

#define IDD_INSTALL 100
#define IDI_APP 100

#define IDC_PROGRESS 101
#define IDC_INSTALL 102
#define IDC_NOTES 1000
