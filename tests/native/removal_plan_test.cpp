// The order of an uninstallation, its closing report, the hand-over to the temporary copy
// and the shortcuts both programs compute.
#include "uninst/removal_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "system/shortcut_layout.h"
#include "uninst/hand_over.h"

namespace {

const std::string kInstall = "C:\\Games\\Game";
const std::string kAppData = "C:\\users\\me\\AppData\\Roaming";

DeleteContext Context() {
  DeleteContext context;
  context.install_folder = kInstall;
  context.protected_folders = {kAppData, "C:\\users\\me"};
  context.data_folders = {kAppData};
  context.system_folders = {"C:\\windows"};
  context.environment = [](const std::string& name, std::string* value) {
    if (name != "APPDATA") return false;
    *value = kAppData;
    return true;
  };
  return context;
}

TEST(RemovalPlan, ListedFilesLastFirstAndTheirFolders) {
  const std::vector<PlannedEntry> entries = {
      {"UnInst.exe", false}, {"a.txt", false}, {"data\\", true}, {"data\\sub\\", true},
      {"data\\x.bin", false}, {"data\\sub\\y.bin", false},
  };
  ListedPaths listed;
  ASSERT_TRUE(ListedPathsIn(kInstall, entries, &listed));
  EXPECT_EQ(listed.files, (std::vector<std::string>{kInstall + "\\data\\sub\\y.bin", kInstall + "\\data\\x.bin",
                                                    kInstall + "\\a.txt", kInstall + "\\UnInst.exe"}));
  EXPECT_EQ(listed.folders, (std::vector<std::string>{kInstall + "\\data\\sub", kInstall + "\\data"}));
  // A name that no longer fits once joined is refused, not cut, and kept for the report;
  // the others are joined all the same.
  EXPECT_FALSE(ListedPathsIn(kInstall, {{"a.txt", false}, {std::string(250, 'n'), false}}, &listed));
  EXPECT_EQ(listed.unjoined, std::vector<std::string>{std::string(250, 'n')});
  EXPECT_EQ(listed.files, std::vector<std::string>{kInstall + "\\a.txt"});
}

TEST(RemovalPlan, FoldersGoDeepestFirstAndTheInstallFolderLast) {
  const DeleteContext context = Context();
  const std::vector<std::string> candidates = {
      kInstall,
      kInstall + "\\data",
      kInstall + "\\data\\sub\\deep",
      kAppData + "\\Maker\\Game",
      kInstall + "\\DATA",         // the same folder again
      "C:\\Games",                 // above the install folder
      kAppData,                    // protected
      "C:\\windows\\Game",         // in the Windows folder
      kInstall + "\\data\\sub",
  };
  EXPECT_EQ(OrderFoldersForRemoval(candidates, context),
            (std::vector<std::string>{kAppData + "\\Maker\\Game", kInstall + "\\data\\sub\\deep",
                                      kInstall + "\\data\\sub", kInstall + "\\data", kInstall}));

  // Documents chosen as the install folder: its folders go, the folder itself stays.
  DeleteContext documents = context;
  documents.install_folder = "C:\\users\\me\\Documents";
  documents.protected_folders.push_back(documents.install_folder);
  EXPECT_EQ(OrderFoldersForRemoval({documents.install_folder + "\\data", documents.install_folder}, documents),
            std::vector<std::string>{documents.install_folder + "\\data"});
}

TEST(RemovalPlan, FoldersATargetLeaves) {
  const DeleteContext context = Context();
  const struct {
    const char* line;
    std::vector<std::string> folders;
  } rows[] = {
      // Inside: every level up to the install folder, which always comes last anyway.
      {"log\\old\\*.log", {kInstall + "\\log\\old", kInstall + "\\log"}},
      {"REP_INSTALL\\*.tmp", {}},
      {"cache.bin", {}},
      // Outside: only the folder that held the files, and never a protected one.
      {"%APPDATA%\\Maker\\Game\\save1.dat", {kAppData + "\\Maker\\Game"}},
      {"%APPDATA%\\game.ini", {}},
      {"..\\refused.txt", {}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(FoldersOfTarget(ResolveDeleteLine(row.line, context), context), row.folders) << row.line;
  }
}

TEST(RemovalPlan, OutermostOfTheFoldersThatStayed) {
  EXPECT_EQ(OutermostFolders({kInstall + "\\data\\sub", kInstall + "\\data", kInstall, "D:\\Saves\\Game"}),
            (std::vector<std::string>{kInstall, "D:\\Saves\\Game"}));
  EXPECT_EQ(OutermostFolders({kInstall + "\\save", kInstall + "\\saves"}),
            (std::vector<std::string>{kInstall + "\\save", kInstall + "\\saves"}));
}

TEST(RemovalPlan, TheClosingReport) {
  EXPECT_EQ(FormatUninstallReport({}, {}, 1023), "アンインストールが完了しました。");
  EXPECT_EQ(FormatUninstallReport({kInstall + "\\data\\big.bin"}, {kInstall}, 1023),
            "アンインストールが完了しました。\n\n"
            "以下のファイルを削除できませんでした。お手数ですが、手動で削除してください。\n" +
                kInstall + "\\data\\big.bin\n\n"
                "以下のフォルダは、ファイルが残っているか使用中のため削除しませんでした。\n" + kInstall);

  // Many long paths: the text fits the box's buffer, each list says how many it left out,
  // and the folders are not crowded out by the files.
  std::vector<std::string> files, folders;
  for (int i = 0; i < 40; ++i) files.push_back(kInstall + "\\" + std::string(60, 'f') + std::to_string(i));
  for (int i = 0; i < 40; ++i) folders.push_back(kInstall + "\\" + std::string(60, 'd') + std::to_string(i));
  const std::string report = FormatUninstallReport(files, folders, 1023);
  EXPECT_LE(report.size(), 1023u);
  EXPECT_NE(report.find(files[0]), std::string::npos);
  EXPECT_NE(report.find(folders[0]), std::string::npos);
  EXPECT_EQ(report.find(files[39]), std::string::npos);
  EXPECT_EQ(report.size() - report.rfind("件"), 2u);  // ends with the count of the rest
  EXPECT_NE(report.find("…ほか"), std::string::npos);

  // What was left untouched or refused is named, never dropped.
  UninstallOutcome outcome;
  outcome.links_left = {kInstall + "\\log"};
  outcome.refused_lines = {"C:\\*"};
  outcome.unjoined = {"data\\" + std::string(250, 'n')};
  EXPECT_EQ(FormatUninstallReport(outcome, 1023),
            "アンインストールが完了しました。\n\n"
            "以下はリンク（ジャンクションなど）のため、たどらずに残しました。\n" + kInstall + "\\log\n\n"
            "以下の削除指定は安全でないため、無視しました。\nC:\\*\n\n"
            "以下のインストール情報の項目は扱えないため、無視しました。\n" + outcome.unjoined[0]);
}

TEST(HandOver, ArgumentsRoundTripAndRefusals) {
  const HandOver original{4294967295ul, "C:\\Program Files\\ソフト 表\\Game"};
  HandOver parsed;
  ASSERT_TRUE(ParseHandOverArguments(FormatHandOverArguments(original), &parsed));
  EXPECT_EQ(parsed.parent_id, original.parent_id);
  EXPECT_EQ(parsed.records_folder, original.records_folder);
  ASSERT_TRUE(ParseHandOverArguments("  /handover\t12   \"D:\\G\"  ", &parsed));
  EXPECT_EQ(parsed.parent_id, 12u);
  EXPECT_EQ(parsed.records_folder, "D:\\G");

  // Anything else means the program was started by hand.
  for (const char* arguments :
       {"", "/handover", "/handover 12", "/handover x \"D:\\G\"", "/handover 12 D:\\G", "/handover 12 \"D:\\G",
        "/handover 12 \"D:\\G\" more", "/handover 4294967296 \"D:\\G\"", "/handoverx 12 \"D:\\G\"",
        "/handover 12 \"\"", "/handover12 \"D:\\G\""}) {
    EXPECT_FALSE(ParseHandOverArguments(arguments, &parsed)) << arguments;
  }
}

TEST(HandOver, TheCopyDeletesItselfThenTheBatch) {
  const std::string text =
      SelfDeletingBatchText("C:\\Temp\\PvUnInst_ab\\PvUnInst_7.exe", "C:\\Temp\\PvUnInst_ab.bat",
                            "C:\\Temp\\PvUnInst_ab", "C:\\Windows\\system32\\ping.exe");
  const std::size_t del_exe = text.find("del \"C:\\Temp\\PvUnInst_ab\\PvUnInst_7.exe\"");
  const std::size_t rmdir = text.find("rmdir \"C:\\Temp\\PvUnInst_ab\"\n");
  const std::size_t del_batch = text.find("del \"C:\\Temp\\PvUnInst_ab.bat\"");
  ASSERT_NE(del_exe, std::string::npos);
  ASSERT_NE(rmdir, std::string::npos);
  ASSERT_NE(del_batch, std::string::npos);
  EXPECT_LT(del_exe, rmdir);
  EXPECT_LT(rmdir, del_batch);
  EXPECT_EQ(text.substr(del_batch), "del \"C:\\Temp\\PvUnInst_ab.bat\"\n");  // the batch's last line
  // No helper by its bare name: the current folder (or PATH) could hold another "ping".
  EXPECT_EQ(text.find("\nping"), std::string::npos);
  EXPECT_NE(text.find("\"C:\\Windows\\system32\\ping.exe\" -n 2"), std::string::npos);
  EXPECT_NE(text.find("if %n% lss 60 goto again"), std::string::npos) << "the tries are bounded";
  EXPECT_EQ(TemporaryCopyName(7), "PvUnInst_7.exe");
}

TEST(ShortcutLayout, WhatTheInstallMakesAndTheUninstallerRemoves) {
  ShortcutSettings settings{"My Game", "Maker", "game.exe", "お読みください", "readme.txt", ""};
  ShortcutLayout layout = LayOutShortcuts("C:\\Programs", "C:\\Desktop", "D:\\Games\\Game", settings);
  EXPECT_EQ(layout.folders, (std::vector<std::string>{"C:\\Programs\\Maker", "C:\\Programs\\Maker\\My Game"}));
  ASSERT_EQ(layout.start_menu.size(), 3u);
  const std::string folder = "C:\\Programs\\Maker\\My Game\\";
  EXPECT_EQ(layout.start_menu[0].link, folder + "My Game.LNK");
  EXPECT_EQ(layout.start_menu[0].target, "D:\\Games\\Game\\game.exe");
  EXPECT_EQ(layout.start_menu[1].link, folder + "My Game お読みください.LNK");
  EXPECT_EQ(layout.start_menu[1].target, "D:\\Games\\Game\\readme.txt");
  EXPECT_EQ(layout.start_menu[2].link, folder + "My Game アンインストール.LNK");
  EXPECT_EQ(layout.start_menu[2].target, "D:\\Games\\Game\\UnInst.exe");
  EXPECT_EQ(layout.desktop.link, "C:\\Desktop\\My Game.LNK");
  EXPECT_EQ(layout.desktop.target, "D:\\Games\\Game\\game.exe");

  // No group, no readme ("-" or nothing), a folder that ends in a separator, no desktop.
  for (const char* readme : {"", "-"}) {
    settings.group.clear();
    settings.readme_file = readme;
    layout = LayOutShortcuts("C:\\Programs\\", "", "D:\\", settings);
    EXPECT_EQ(layout.folders, (std::vector<std::string>{"C:\\Programs\\My Game"}));
    ASSERT_EQ(layout.start_menu.size(), 2u);
    EXPECT_EQ(layout.start_menu[0].target, "D:\\game.exe");
    EXPECT_EQ(layout.start_menu[1].target, "D:\\UnInst.exe");
    EXPECT_TRUE(layout.desktop.link.empty());
  }
}

}  // namespace
