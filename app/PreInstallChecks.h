#pragma once
// Everything start-up decides before the install dialog may open.

// Opens the package appended to the installer's own executable and fills PackageIndex.
// False when the package cannot be opened, when its integrity data finds its header, trailer
// or directory damaged, or when any entry name could write outside the game folder or to a
// device (package/format/EntryName.h): each is a damaged package to the user.
bool OpenInstallerPackage();

// Sets GameFolder (the installer's folder followed by "..\"), checks for Bin\Vantis.exe,
// reads the installed version and the manifest, and applies the manifest's version rule,
// asking the user where it is not clear-cut. True when the dialog is to be shown. Every
// false has already shown its message, or the user declined a question.
bool RunPreInstallChecks();
