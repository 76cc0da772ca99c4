// The [delfiles] / [delfiles_user] line rules: where a line points, and every refusal.
#include "system/delete_rules.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

const std::string kInstall = "C:\\Program Files\\Maker\\Game";
const std::string kAppData = "C:\\users\\me\\AppData\\Roaming";
const std::string kDocuments = "C:\\users\\me\\Documents";
const std::string kSavedGames = "C:\\users\\me\\Saved Games";
const std::string kCommonData = "C:\\ProgramData";

DeleteContext Context() {
  DeleteContext context;
  context.install_folder = kInstall;
  context.protected_folders = {"C:\\Program Files", kAppData, "C:\\users\\me", "C:\\users\\Public\\Desktop",
                               "C:\\users\\me\\Temp", kDocuments, kSavedGames, "C:\\Program Files (x86)",
                               kCommonData};
  context.data_folders = {kAppData, kDocuments, kSavedGames, kCommonData};
  context.common_data_folder = kCommonData;
  // A hostile settings file may name the title like the system's folders: no way in either.
  context.title_names = {"Maker", "Game", "ゲーム", "Microsoft", "PanvesterUninstall_0123456789abcdef"};
  context.system_folders = {"C:\\windows", "C:\\windows\\system32"};
  context.environment = [](const std::string& name, std::string* value) {
    static const std::map<std::string, std::string> values = {
        {"APPDATA", kAppData}, {"USERPROFILE", "C:\\users\\me"}, {"SAVES", "D:\\Saves"}, {"DOCS", kDocuments},
        {"ALLUSERSPROFILE", kCommonData}};
    const auto it = values.find(name);
    if (it == values.end()) return false;
    *value = it->second;
    return true;
  };
  // The short name of Program Files, as a line could spell it.
  context.long_folder = [](const std::string& folder) {
    const std::string shorter = "C:\\PROGRA~1";
    if (folder.compare(0, shorter.size(), shorter) == 0) return "C:\\Program Files" + folder.substr(shorter.size());
    return folder;
  };
  return context;
}

struct Row {
  const char* line;
  DeleteVerdict verdict;
  std::string folder;  // when accepted
  const char* leaf;
  bool wildcard;
};

TEST(DeleteRules, WhereALinePoints) {
  const std::vector<Row> rows = {
      {"save\\*.dat", DeleteVerdict::kAccepted, kInstall + "\\save", "*.dat", true},
      {"REP_INSTALL\\log\\*.log", DeleteVerdict::kAccepted, kInstall + "\\log", "*.log", true},
      {"cache.bin", DeleteVerdict::kAccepted, kInstall, "cache.bin", false},
      {"REP_INSTALL\\*.tmp", DeleteVerdict::kAccepted, kInstall, "*.tmp", true},
      {"save\\", DeleteVerdict::kAccepted, kInstall, "save", false},
      {"%APPDATA%\\Maker\\Game\\save1.dat", DeleteVerdict::kAccepted, kAppData + "\\Maker\\Game", "save1.dat", false},
      {"%APPDATA%\\Maker\\Game\\*", DeleteVerdict::kAccepted, kAppData + "\\Maker\\Game", "*", true},
      {"C:\\PROGRA~1\\Maker\\Game\\save\\*.dat", DeleteVerdict::kAccepted, kInstall + "\\save", "*.dat", true},
      // Double-byte names whose second byte is 0x5C ("表", "ソ") are one character.
      {"表示\\*.dat", DeleteVerdict::kAccepted, kInstall + "\\表示", "*.dat", true},
      {"ソ*.sav", DeleteVerdict::kAccepted, kInstall, "ソ*.sav", true},
  };
  const DeleteContext context = Context();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    const DeleteTarget target = ResolveDeleteLine(row.line, context);
    ASSERT_EQ(target.verdict, row.verdict) << DeleteVerdictText(target.verdict);
    EXPECT_EQ(target.folder, row.folder);
    EXPECT_EQ(target.leaf, row.leaf);
    EXPECT_EQ(target.wildcard, row.wildcard);
  }
}

TEST(DeleteRules, RefusedLines) {
  const std::vector<std::pair<const char*, DeleteVerdict>> rows = {
      {"", DeleteVerdict::kEmpty},
      {"%NOPE%\\x.dat", DeleteVerdict::kUnknownVariable},
      {"100%\\x.dat", DeleteVerdict::kUnknownVariable},
      {"%%\\x.dat", DeleteVerdict::kUnknownVariable},
      {"C:x.dat", DeleteVerdict::kNotAbsolute},
      {"\\x.dat", DeleteVerdict::kNotAbsolute},
      {"..\\outside.txt", DeleteVerdict::kDotComponent},
      {"save\\..\\..\\x.dat", DeleteVerdict::kDotComponent},
      {"REP_INSTALL\\.\\x.dat", DeleteVerdict::kDotComponent},
      {"%APPDATA%\\..\\x.dat", DeleteVerdict::kDotComponent},
      {"save\\*\\x.dat", DeleteVerdict::kWildcardInFolder},
      {"sa?e\\x.dat", DeleteVerdict::kWildcardInFolder},
      {"\\\\?\\C:\\x.dat", DeleteVerdict::kBadName},
      {"\\\\.\\PhysicalDrive0", DeleteVerdict::kBadName},
      {"save\\con", DeleteVerdict::kBadName},
      {"save\\x.dat:stream", DeleteVerdict::kBadName},
      {"save\\\\x.dat", DeleteVerdict::kBadName},
      {"save\\x<y.dat", DeleteVerdict::kBadName},
      {"D:\\Saves\\REP_INSTALL.txt", DeleteVerdict::kBadName},  // a drive in the middle
      // Windows drops trailing dots and blanks: these would reach the Windows folder.
      {"C:\\windows.\\win.ini", DeleteVerdict::kBadName},
      {"C:\\windows \\win.ini", DeleteVerdict::kBadName},
      {"C:\\", DeleteVerdict::kDriveRoot},
      {"C:\\*", DeleteVerdict::kDriveRoot},
      {"D:/*.*", DeleteVerdict::kDriveRoot},
      {"\\\\server\\share", DeleteVerdict::kDriveRoot},
      {"\\\\server\\share\\*.sav", DeleteVerdict::kDriveRoot},
      {"REP_INSTALL", DeleteVerdict::kInstallFolderOrParent},
      {"REP_INSTALL\\", DeleteVerdict::kInstallFolderOrParent},
      {"c:\\program files\\maker\\GAME", DeleteVerdict::kInstallFolderOrParent},
      {"C:\\Program Files\\Maker", DeleteVerdict::kInstallFolderOrParent},
      {"C:\\Program Files\\Maker\\*", DeleteVerdict::kInstallFolderOrParent},
      {"C:\\PROGRA~1\\Maker\\Game", DeleteVerdict::kInstallFolderOrParent},
      {"C:\\PROGRA~1\\*.txt", DeleteVerdict::kInstallFolderOrParent},
      {"%APPDATA%", DeleteVerdict::kProtected},
      {"%APPDATA%\\*.ini", DeleteVerdict::kProtected},
      {"%USERPROFILE%\\*", DeleteVerdict::kProtected},
      {"C:\\users", DeleteVerdict::kProtected},
      {"C:\\users\\Public\\Desktop\\*.lnk", DeleteVerdict::kProtected},
      {"C:\\windows\\win.ini", DeleteVerdict::kProtected},
      {"C:\\WINDOWS\\system32\\drivers\\x.sys", DeleteVerdict::kProtected},
      {"C:\\windows", DeleteVerdict::kProtected},
  };
  const DeleteContext context = Context();
  for (const auto& [line, verdict] : rows) {
    SCOPED_TRACE(line);
    EXPECT_EQ(ResolveDeleteLine(line, context).verdict, verdict)
        << DeleteVerdictText(ResolveDeleteLine(line, context).verdict);
  }
  // A line that only fits before the install folder is put in front of it.
  EXPECT_EQ(ResolveDeleteLine(std::string(240, 'a') + ".dat", context).verdict, DeleteVerdict::kTooLong);
}

TEST(DeleteRules, FoldersThatMayGoOnceEmpty) {
  const std::vector<std::pair<std::string, bool>> rows = {
      {kInstall, true},
      {kInstall + "\\save", true},
      {kAppData + "\\Maker\\Game", true},
      {"D:\\Saves", true},
      {"C:\\Program Files\\Maker", false},
      {"C:\\Program Files", false},
      {kAppData, false},
      {"C:\\users", false},
      {"C:\\windows\\Game", false},
      {"C:", false},
      {"\\\\server\\share", false},
  };
  const DeleteContext context = Context();
  for (const auto& [folder, may] : rows) EXPECT_EQ(MayRemoveFolder(folder, context), may) << folder;
}

TEST(DeleteRules, TheInstallFolderItself) {
  const std::vector<std::pair<const char*, DeleteVerdict>> rows = {
      {"C:\\Program Files\\Maker\\Game", DeleteVerdict::kAccepted},
      {"\\\\server\\share\\Games\\X", DeleteVerdict::kAccepted},
      {"", DeleteVerdict::kEmpty},
      {"Games\\X", DeleteVerdict::kNotAbsolute},
      {"C:", DeleteVerdict::kNotAbsolute},
      {"C:\\", DeleteVerdict::kDriveRoot},
      {"C:\\Games\\..\\windows", DeleteVerdict::kDotComponent},
      // A well-known folder chosen as the install folder: its files go, the folder stays.
      {"C:\\Program Files", DeleteVerdict::kAccepted},
      {"C:\\users\\me\\Documents", DeleteVerdict::kAccepted},
      {"C:\\users\\me", DeleteVerdict::kProtected},
      {"C:\\users", DeleteVerdict::kProtected},
      {"C:\\windows\\Game", DeleteVerdict::kProtected},
  };
  const DeleteContext context = Context();
  for (const auto& [folder, verdict] : rows) EXPECT_EQ(CheckInstallFolder(folder, context), verdict) << folder;
}

// Outside the install folder a line reaches only two levels and more below a data folder.
TEST(DeleteRules, ConfinementOutsideTheInstallFolder) {
  const std::vector<std::pair<std::string, DeleteVerdict>> rows = {
      {"%APPDATA%\\Maker\\Game\\*.sav", DeleteVerdict::kAccepted},
      {"%APPDATA%\\Maker\\Game", DeleteVerdict::kAccepted},
      {"%APPDATA%\\Maker\\settings.ini", DeleteVerdict::kAccepted},
      {"%DOCS%/Maker/Game/*", DeleteVerdict::kAccepted},
      {kSavedGames + "\\Maker\\Game\\slot?.sav", DeleteVerdict::kAccepted},
      {"%APPDATA%\\Maker\\*", DeleteVerdict::kTooShallow},  // every title of the maker
      {"%APPDATA%\\Maker", DeleteVerdict::kTooShallow},
      {"%APPDATA%\\game.ini", DeleteVerdict::kTooShallow},
      {"%DOCS%\\*.txt", DeleteVerdict::kProtected},
      {"%SAVES%/Game/*.sav", DeleteVerdict::kOutsideDataFolders},
      {"D:\\Saves\\Maker\\Game\\a.sav", DeleteVerdict::kOutsideDataFolders},
      {"\\\\server\\share\\saves\\a.sav", DeleteVerdict::kOutsideDataFolders},
      {"C:\\Games\\Other\\save\\*.sav", DeleteVerdict::kOutsideDataFolders},
      {"C:\\Program Files\\Maker\\Other\\x.dat", DeleteVerdict::kOutsideDataFolders},
      // The 64-bit Program Files as a 32-bit process sees it only through ProgramW6432.
      {"C:\\Program Files (x86)\\*", DeleteVerdict::kProtected},
      {"%USERPROFILE%\\AppData\\*.dat", DeleteVerdict::kProtected},
      // "ポ" is 83 7C: its trail byte is not the "|" that no path may hold.
      {"save\\ポイント.dat", DeleteVerdict::kAccepted},
      {"%APPDATA%\\Maker\\ポップ\\*.sav", DeleteVerdict::kAccepted},
      {"save\\a|b.dat", DeleteVerdict::kBadName},
  };
  const DeleteContext context = Context();
  for (const auto& [line, verdict] : rows) {
    SCOPED_TRACE(line);
    EXPECT_EQ(ResolveDeleteLine(line, context).verdict, verdict)
        << DeleteVerdictText(ResolveDeleteLine(line, context).verdict);
  }
  EXPECT_EQ(ResolveDeleteLine("save\\ポイント.dat", context).leaf, "ポイント.dat");
}

// Every program's data, the system's keys and the uninstallers' own folders share the common
// application data: a line reaches only into this game's folder there, two folders down.
TEST(DeleteRules, CommonApplicationData) {
  const std::vector<std::pair<std::string, DeleteVerdict>> rows = {
      {"C:\\ProgramData\\Maker\\Game\\x.dat", DeleteVerdict::kAccepted},
      {"%ALLUSERSPROFILE%\\maker\\GAME\\*", DeleteVerdict::kAccepted},
      {"C:\\ProgramData\\Game\\Save\\Slot1\\*.sav", DeleteVerdict::kAccepted},
      {"C:\\ProgramData\\ゲーム\\セーブ\\*", DeleteVerdict::kAccepted},
      {"%ALLUSERSPROFILE%\\PanvesterUninstall_0123456789abcdef\\UnInst.exe", DeleteVerdict::kProtected},
      {"C:\\ProgramData\\panvesteruninstall_ffff\\*", DeleteVerdict::kProtected},
      {"C:\\ProgramData\\PanvesterUninstall_0123456789abcdef", DeleteVerdict::kProtected},
      {"C:\\ProgramData\\PvUnInst_0123456789abcdef\\PvUnInst_42.exe", DeleteVerdict::kProtected},
      {"C:\\ProgramData\\Microsoft\\Crypto\\RSA\\MachineKeys\\*", DeleteVerdict::kProtected},
      {"C:\\ProgramData\\Microsoft\\Windows Defender\\*", DeleteVerdict::kProtected},
      {"c:\\programdata\\MICROSOFT\\Maker\\Game\\x.dat", DeleteVerdict::kProtected},
      {"C:\\ProgramData\\*.dat", DeleteVerdict::kProtected},
      {"C:\\ProgramData\\Other\\Game\\x.dat", DeleteVerdict::kSharedData},
      {"C:\\ProgramData\\Maker Two\\Game\\*", DeleteVerdict::kSharedData},
      {"C:\\ProgramData\\Maker\\x.dat", DeleteVerdict::kTooShallow},
      {"C:\\ProgramData\\Maker\\*", DeleteVerdict::kTooShallow},
      {"C:\\ProgramData\\Maker\\Game", DeleteVerdict::kTooShallow},  // the folder it lies in counts
  };
  const DeleteContext context = Context();
  for (const auto& [line, verdict] : rows) {
    SCOPED_TRACE(line);
    EXPECT_EQ(ResolveDeleteLine(line, context).verdict, verdict)
        << DeleteVerdictText(ResolveDeleteLine(line, context).verdict);
  }
  // Installed into the common application data: its own lines need no maker's name.
  DeleteContext inside = Context();
  inside.install_folder = kCommonData + "\\Vendor\\App";
  EXPECT_EQ(ResolveDeleteLine("save\\*.dat", inside).verdict, DeleteVerdict::kAccepted);
  EXPECT_EQ(ResolveDeleteLine("C:\\ProgramData\\Vendor\\x.dat", inside).verdict, DeleteVerdict::kSharedData);
}

TEST(DeleteRules, Wildcards) {
  const struct {
    const char* pattern;
    const char* name;
    bool match;
  } rows[] = {
      {"*.log", "a.log", true},        {"*.log", "A.LOG", true},
      {"*.log", "a.log.bak", false},   {"*.htm", "page.html", false},
      {"save?.dat", "save1.dat", true}, {"save?.dat", "save10.dat", false},
      {"*", "anything", true},         {"*.*", "noext", true},
      {"data.*", "data", true},        {"data.*", "database", false},
      {"a*b*c", "aXbYc", true},        {"a*b*c", "aXbY", false},
      {"*a", "aaa", true},             {"", "", true},
      {"?.dat", "表.dat", true},       {"??.dat", "表.dat", false},
      {"*ソ", "アソ", true},            {"Ａ*", "ａｂ", true},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(MatchesWildcard(row.pattern, row.name), row.match) << row.pattern << " / " << row.name;
  }
}

}  // namespace
