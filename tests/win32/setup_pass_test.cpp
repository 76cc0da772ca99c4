// The setup pass of Panvester.exe at start-up: what lands in the work folder, which
// container wins, and the read-failure path when there is no usable archive.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/setup_builder.h"
#include "support/wine_test.h"

namespace {

constexpr DWORD kTimeout = 20000;
constexpr char kFailureText[] = "ファイルの読み込みに失敗しました。ファイルが壊れている可能性があります。";

std::string Folder(const char* name) { return wt::TempDir() + "\\" + name; }

// The main window needs its title picture to start.
wt::PayloadFile Picture() { return {"insttscr.rct", wt::SolidTitlePicture(32, 24, 10, 20, 30)}; }

void CloseAndWait(wt::Process& program, HWND window) {
  PostMessageA(window, WM_CLOSE, 0, 0);
  DWORD code = 1;
  ASSERT_TRUE(wt::WaitExit(program, kTimeout, &code));
  EXPECT_EQ(code, 0u);
}

TEST(SetupPass, OnlySetupFilesReachTheWorkFolderAndNoFolderIsMade) {
  const std::vector<wt::PayloadFile> files = {
      {"install.env", "TITLEBAR Setup\n"}, Picture(), {"README.TXT", "upper"}, {"notes.txt.bak", "substring"},
      {"game.exe", "MZ"},                  {"data\\", ""},            {"data\\sub\\", ""},
      {"data\\inside.txt", "in a folder"}, {"data\\sub\\deep.txt", "deep"}};
  const std::string exe = wt::MakeSetup(Folder("pv_setup_pass"), files, wt::Container::kAppended);
  ASSERT_FALSE(exe.empty());
  wt::Process program = wt::Start(exe);
  HWND window = wt::WaitFor([&] { return wt::FindTopWindow(program.id, "Setup スタートアップ"); }, kTimeout);
  ASSERT_NE(window, nullptr);
  const std::vector<std::string> work = wt::WorkFolders();
  ASSERT_EQ(work.size(), 1u);
  std::vector<std::string> names;
  for (const std::string& name : wt::ListNames(wt::TempDir() + "\\" + work[0], "*")) {
    if (name != "." && name != "..") names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"README.TXT", "install.env", "insttscr.rct", "notes.txt.bak"}));
  CloseAndWait(program, window);
}

TEST(SetupPass, SidecarWinsOverTheAppendedArchive) {
  const std::string folder = Folder("pv_setup_both");
  const std::string exe = wt::MakeSetup(folder, {{"install.env", "TITLEBAR Appended\n"}, Picture()},
                                        wt::Container::kAppended);
  ASSERT_FALSE(exe.empty());
  // A second distribution beside it, built into a scratch folder and moved next to the first.
  const std::string other = wt::MakeSetup(folder + "\\side", {{"install.env", "TITLEBAR Sidecar\n"}, Picture()});
  ASSERT_FALSE(other.empty());
  ASSERT_TRUE(CopyFileA((folder + "\\side\\instdat.arc").c_str(), (folder + "\\instdat.arc").c_str(), FALSE));
  wt::Process program = wt::Start(exe);
  HWND window = wt::WaitFor([&] { return wt::FindTopWindow(program.id, "Sidecar スタートアップ"); }, kTimeout);
  ASSERT_NE(window, nullptr);
  CloseAndWait(program, window);
}

// No archive at all, a trailer pointing outside the file, a truncated side-car: each ends
// with the read-failure message, exit code -1 and no work folder left behind.
TEST(SetupPass, NoUsableArchiveTakesTheReadFailurePath) {
  const std::string folder = Folder("pv_setup_broken");
  const std::string exe = wt::MakeSetup(folder, {{"install.env", "TITLEBAR x\n"}, {"big.bin", std::string(5000, 'b')}});
  ASSERT_FALSE(exe.empty());
  const std::string archive = wt::ReadFile(folder + "\\instdat.arc");
  const std::string bare = wt::ReadFile(exe);
  const struct {
    const char* label;
    std::string program;   // bytes of the executable
    std::string sidecar;   // bytes of instdat.arc, or none
    bool has_sidecar;
  } rows[] = {
      {"no archive", bare, "", false},
      {"trailer past the end", bare + std::string("\xFF\xFF\xFF\x7F", 4), "", false},
      {"side-car cut short", bare, archive.substr(0, archive.size() - 10), true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    wt::WriteFile(exe, row.program);
    DeleteFileA((folder + "\\instdat.arc").c_str());
    if (row.has_sidecar) wt::WriteFile(folder + "\\instdat.arc", row.sidecar);
    wt::Process program = wt::Start(exe);
    HWND box = wt::WaitFor([&] { return wt::FindMessageBox(program.id); }, kTimeout);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(wt::MessageBoxText(box), kFailureText);
    wt::Press(box, IDOK);
    DWORD code = 0;
    ASSERT_TRUE(wt::WaitExit(program, kTimeout, &code));
    EXPECT_EQ(code, 0xFFFFFFFFu);
    EXPECT_TRUE(wt::WorkFolders().empty());
  }
  wt::RemoveTree(folder);
}

}  // namespace
