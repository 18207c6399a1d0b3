#pragma once
// Resource and control numbers, shared by resources/Installer.rc and the code. Plain
// macros, because the resource compiler reads this file too.

#define IDD_INSTALL 100
#define IDI_APP 100
// RCDATA: the entry kinds beyond whole ones that this program installs, as ASCII words
// ("compressed delta"). vantis-pack writes such entries only onto a program that lists them.
#define IDR_ENTRY_KINDS 200

#define IDC_PROGRESS 101
#define IDC_INSTALL 102
#define IDC_NOTES 1000
