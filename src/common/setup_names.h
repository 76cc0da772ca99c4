// The names of the files a setup is made of: each written once, here.
#pragma once

// The settings file, read from the work folder at start-up and from the install folder by
// the uninstaller.
constexpr char kSettingsFileName[] = "install.env";
// The title picture of the start-up window.
constexpr char kTitlePictureName[] = "insttscr.rct";
// Readme files: any name with this in it goes to the work folder as well.
constexpr char kReadmePattern[] = ".txt";
// The archive beside the program when it is not appended to it.
constexpr char kSidecarName[] = "instdat.arc";
// Further volumes of a split archive: this followed by the volume's number in three digits.
constexpr char kVolumeStem[] = "instdat.";
constexpr char kUninstallerName[] = "UnInst.exe";
// Matches none of the names the start-up pass unpacks (kSetupPatterns), so it only ever
// reaches the install folder.
constexpr char kInstallListName[] = "UnInst.lst";

// Names that start-up needs in the work folder, tested in this order.
constexpr const char* kSetupPatterns[] = {kTitlePictureName, kSettingsFileName, kReadmePattern};
