// panvester-pack.exe as a Windows distributor runs it: paths with names outside the ANSI code
// page on the command line and on disk, and archives that hold what the host tool's hold
// (made by pack_reference.sh from the same tree with the same file times).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/wine_test.h"

namespace {

constexpr DWORD kTimeout = 120000;
constexpr DWORD kPollInterval = 20;
constexpr DWORD kTimedOut = 0xDEAD;

std::wstring Wide(const std::string& text, UINT code_page) {
  if (text.empty()) return std::wstring();
  const int n = MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

std::wstring Quote(const std::wstring& arg) { return L"\"" + arg + L"\""; }

std::string ReadBytes(const std::wstring& path) {
  std::string bytes;
  if (std::FILE* file = _wfopen(path.c_str(), L"rb")) {
    char buffer[65536];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, file)) bytes.append(buffer, n);
    std::fclose(file);
  }
  return bytes;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  std::FILE* file = _wfopen(path.c_str(), L"wb");
  if (!file) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

std::uint64_t WriteTime(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
}

// Copies a folder tree with the system's own copy, which keeps the write times; the
// relative names of the files are collected.
bool CopyTree(const std::wstring& from, const std::wstring& to, const std::wstring& relative,
              std::vector<std::wstring>* files) {
  if (!CreateDirectoryW(to.c_str(), nullptr)) return false;
  WIN32_FIND_DATAW found;
  const HANDLE find = FindFirstFileW((from + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ok = ok && CopyTree(from + L"\\" + name, to + L"\\" + name, relative + name + L"\\", files);
    } else {
      ok = ok && CopyFileW((from + L"\\" + name).c_str(), (to + L"\\" + name).c_str(), TRUE);
      files->push_back(relative + name);
    }
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return ok;
}

struct ToolRun {
  DWORD code = 0xFFFFFFFF;
  std::string output;  // standard output and error, UTF-8
};

// Starts panvester-pack.exe with a wide command line and collects what it prints.
ToolRun RunTool(const std::wstring& args) {
  ToolRun run;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &inherit, 0)) return run;
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = write;
  startup.hStdError = write;
  std::wstring command = Quote(Wide(wt::BinDir(), CP_ACP) + L"\\tools\\pack\\panvester-pack.exe") + L" " + args;
  PROCESS_INFORMATION process{};
  const bool started =
      CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
  CloseHandle(write);
  if (started) {
    // A tool that never ends is stopped after the (generous) time limit, so a test of it
    // fails instead of hanging.
    auto drain = [&] {
      char buffer[4096];
      DWORD available = 0, n = 0;
      while (PeekNamedPipe(read, nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
             ReadFile(read, buffer, sizeof buffer, &n, nullptr) && n > 0) {
        run.output.append(buffer, n);
      }
    };
    DWORD waited = 0;
    DWORD state = WAIT_TIMEOUT;
    while ((state = WaitForSingleObject(process.hProcess, kPollInterval)) == WAIT_TIMEOUT && waited < kTimeout) {
      drain();
      waited += kPollInterval;
    }
    drain();
    if (state == WAIT_OBJECT_0) {
      GetExitCodeProcess(process.hProcess, &run.code);
    } else {
      TerminateProcess(process.hProcess, kTimedOut);
      WaitForSingleObject(process.hProcess, INFINITE);
      run.code = kTimedOut;
      run.output += "[stopped: panvester-pack.exe did not end]";
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  } else {
    run.output = "cannot start panvester-pack.exe";
  }
  CloseHandle(read);
  return run;
}

// "equal" or where the bytes part, for a readable failure.
std::string Compare(const std::string& got, const std::string& want) {
  if (got == want) return "equal";
  std::size_t at = 0;
  while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
  return "sizes " + std::to_string(got.size()) + " and " + std::to_string(want.size()) + ", first difference at byte " +
         std::to_string(at);
}

class PackToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* reference = std::getenv("PV_PACK_REFERENCE");
    ASSERT_NE(reference, nullptr) << "PV_PACK_REFERENCE names the host tool's output";
    reference_ = Wide(wt::WinPath(reference), CP_ACP);
    // "ü" and "한" have no CP932 form: only wide paths reach this folder.
    work_ = Wide(wt::TempDir(), CP_ACP) + L"\\パック試験 ü한 " +
            Wide(::testing::UnitTest::GetInstance()->current_test_info()->name(), CP_ACP);
    game_ = work_ + L"\\game";
    ASSERT_TRUE(CreateDirectoryW(work_.c_str(), nullptr));
    ASSERT_TRUE(CopyTree(reference_ + L"\\tree", game_, L"", &files_));
    ASSERT_GE(files_.size(), 8u);
  }

  ToolRun BuildSidecar(const std::wstring& archive) {
    return RunTool(L"build -q -j 2 " + Quote(game_) + L" --sidecar " + Quote(archive));
  }

  std::wstring reference_, work_, game_;
  std::vector<std::wstring> files_;
};

// What `list` says of an archive without the compressed size and ratio columns: the names,
// sizes and times, which must not depend on the compressor.
std::string Entries(const std::string& listing) {
  std::string entries, line;
  std::size_t at = 0;
  while (at < listing.size()) {
    std::size_t end = listing.find('\n', at);
    if (end == std::string::npos) end = listing.size();
    std::vector<std::string> words;
    std::size_t from = at;
    while (from < end) {
      const std::size_t space = listing.find_first_of(" \r", from);
      const std::size_t stop = space == std::string::npos || space > end ? end : space;
      if (stop > from) words.push_back(listing.substr(from, stop - from));
      from = stop + 1;
    }
    if (!words.empty() && words[0].find_first_not_of("0123456789") == std::string::npos && words.size() > 3) {
      words.erase(words.begin() + 1, words.begin() + 3);
    }
    for (const std::string& word : words) entries += word + " ";
    entries += "\n";
    at = end + 1;
  }
  return entries;
}

// The Windows tool compresses with zlib and the host tool with libdeflate, so their bytes
// differ; what the archives hold must not. The Windows tool's archives are left in the
// reference folder's "windows", where pack_crosscheck.sh reads them with the host tool.
TEST_F(PackToolTest, ArchivesHoldWhatTheHostToolsArchivesHold) {
  // The premise: the copies carry the reference tree's times, to the 100 ns.
  for (const std::wstring& file : files_) {
    EXPECT_EQ(WriteTime(game_ + L"\\" + file), WriteTime(reference_ + L"\\tree\\" + file));
  }
  const std::wstring sidecar = work_ + L"\\instdat.arc";
  const ToolRun build = BuildSidecar(sidecar);
  ASSERT_EQ(build.code, 0u) << build.output;
  const ToolRun one_thread = RunTool(L"build -q -j 1 " + Quote(game_) + L" --sidecar " + Quote(work_ + L"\\one.arc"));
  ASSERT_EQ(one_thread.code, 0u) << one_thread.output;
  EXPECT_EQ(Compare(ReadBytes(work_ + L"\\one.arc"), ReadBytes(sidecar)), "equal");

  // A setup program, written twice: the second build replaces the first.
  const std::wstring setup = work_ + L"\\セットアップ.exe";
  const std::wstring stub = Wide(wt::BinDir(), CP_ACP) + L"\\Panvester.exe";
  for (int round = 0; round < 2; ++round) {
    const ToolRun run = RunTool(L"build " + Quote(game_) + L" -o " + Quote(setup) + L" --stub " + Quote(stub));
    ASSERT_EQ(run.code, 0u) << run.output;
    // The tree's 12, UnInst.exe from beside the stub and the list UnInst.lst.
    EXPECT_NE(run.output.find(u8"セットアップ.exe: 14 entries"), std::string::npos) << run.output;
  }
  const struct {
    std::wstring own, host;
  } pairs[] = {{sidecar, reference_ + L"\\instdat.arc"}, {setup, reference_ + L"\\setup.exe"}};
  for (const auto& pair : pairs) {
    const ToolRun own = RunTool(L"list " + Quote(pair.own));
    const ToolRun host = RunTool(L"list " + Quote(pair.host));
    ASSERT_EQ(own.code, 0u) << own.output;
    ASSERT_EQ(host.code, 0u) << host.output;
    EXPECT_EQ(Entries(own.output), Entries(host.output));
  }
  const std::wstring handed = reference_ + L"\\windows";
  CreateDirectoryW(handed.c_str(), nullptr);
  EXPECT_TRUE(CopyFileW(sidecar.c_str(), (handed + L"\\instdat.arc").c_str(), FALSE));
  EXPECT_TRUE(CopyFileW(setup.c_str(), (handed + L"\\setup.exe").c_str(), FALSE));
}

// Listed, verified and extracted here: the archive this tool writes and the host tool's two.
TEST_F(PackToolTest, ListsVerifiesAndExtractsWithNamesAndTimes) {
  const std::wstring sidecar = work_ + L"\\instdat.arc";
  ASSERT_EQ(BuildSidecar(sidecar).code, 0u);
  int round = 0;
  for (const std::wstring& archive : {sidecar, reference_ + L"\\instdat.arc", reference_ + L"\\setup.exe"}) {
    SCOPED_TRACE(std::string(archive.begin(), archive.end()));
    const ToolRun list = RunTool(L"list " + Quote(archive));
    EXPECT_EQ(list.code, 0u);
    for (const char* expected : {u8"画像\\効果音\\音.wav", u8"ソ表.dat", "2021-03-04 05:06:07  install.env",
                                 u8"1969-07-20 20:17:40  ソ表.dat", u8"2040-02-29 23:59:59  ゲーム.exe", " 4 folders"}) {
      EXPECT_NE(list.output.find(expected), std::string::npos) << expected << "\n" << list.output;
    }
    const ToolRun verify = RunTool(L"verify " + Quote(archive));
    EXPECT_EQ(verify.code, 0u) << verify.output;

    const std::wstring out = work_ + L"\\展開先" + std::to_wstring(++round);
    const ToolRun extract = RunTool(L"extract " + Quote(archive) + L" " + Quote(out));
    ASSERT_EQ(extract.code, 0u) << extract.output;
    for (const std::wstring& file : files_) {
      SCOPED_TRACE(std::string(file.begin(), file.end()));
      EXPECT_EQ(Compare(ReadBytes(out + L"\\" + file), ReadBytes(game_ + L"\\" + file)), "equal");
      EXPECT_EQ(WriteTime(out + L"\\" + file), WriteTime(game_ + L"\\" + file));
    }
    const DWORD save = GetFileAttributesW((out + L"\\save").c_str());
    EXPECT_TRUE(save != INVALID_FILE_ATTRIBUTES && (save & FILE_ATTRIBUTE_DIRECTORY));
  }
}

// A 24-byte archive whose one file claims 2^31 bytes of data: as a 32-bit `long` seek that
// size went backwards, and list and verify read the same header for ever.
TEST_F(PackToolTest, HugeStoredSizeEndsListAndVerifyWithAnError) {
  std::string hostile("\x06\x00" "a.bin", 8);             // name length 6, "a.bin" and its NUL
  hostile += std::string("\x05\x00\x00\x00", 4);          // size
  hostile += std::string("\x00\x00\x00\x80", 4);          // compressed size 2^31
  hostile += std::string(8, '\0');                          // time stamp
  ASSERT_EQ(hostile.size(), 24u);
  // The same appended to a stub, with an end marker and the trailer pointing at byte 2.
  const std::string setup = "MZ" + hostile + std::string(4, '\0') + std::string("\x02\x00\x00\x00", 4);
  const struct {
    const wchar_t* name;
    std::string bytes;
  } files[] = {{L"\\hostile.arc", hostile}, {L"\\hostile.exe", setup}};
  for (const auto& file : files) {
    const std::wstring path = work_ + file.name;
    ASSERT_TRUE(WriteBytes(path, file.bytes));
    for (const wchar_t* command : {L"list ", L"verify ", L"extract "}) {
      SCOPED_TRACE(std::string(file.name, file.name + wcslen(file.name)) + " " +
                   std::string(command, command + wcslen(command)));
      const ToolRun run = RunTool(command + Quote(path) + (command[0] == L'e' ? L" " + Quote(work_ + L"\\x") : L""));
      EXPECT_EQ(run.code, 1u) << run.output;
      EXPECT_NE(run.output.find("a.bin"), std::string::npos) << run.output;
    }
  }
}

// A name is packed only when its CP932 form reads back as the same name; the host tool
// refuses the same characters (pack_tool_test in tests/native).
TEST_F(PackToolTest, RefusesNamesWithoutAnExactCp932Form) {
  const struct {
    const wchar_t* name;
    const char* character;
  } rows[] = {
      {L"caf\u00E9.dat", u8"\u00E9"},           // best fit would be "e"
      {L"a\u00A5b.dat", u8"\u00A5"},            // best fit would be a backslash
      {L"x\u301Cy.dat", u8"\u301C"},            // CP932's 0x8160 reads back as U+FF5E
      {L"smile\U0001F600.dat", u8"\U0001F600"},  // outside the BMP
  };
  int case_number = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.character);
    const std::wstring root = work_ + L"\\bad" + std::to_wstring(++case_number);
    ASSERT_TRUE(CreateDirectoryW(root.c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(root + L"\\install.env", "TITLEBAR\tx\r\n"));
    ASSERT_TRUE(WriteBytes(root + L"\\" + row.name, "x"));
    const std::wstring archive = root + L".arc";
    const ToolRun run = RunTool(L"build " + Quote(root) + L" --sidecar " + Quote(archive));
    EXPECT_EQ(run.code, 1u) << run.output;
    EXPECT_NE(run.output.find("\"" + std::string(row.character) + "\" has no Shift-JIS (CP932) form"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(GetFileAttributesW(archive.c_str()), INVALID_FILE_ATTRIBUTES);
  }
}

// install.env is read as CP932 and shown in UTF-8; pictures convert from and to BMP, and
// a PNG is refused with a clear message, since this build has no libpng.
TEST_F(PackToolTest, LintsAndConvertsBmpPicturesWithoutPng) {
  const ToolRun lint = RunTool(L"lint " + Quote(game_ + L"\\install.env"));
  EXPECT_EQ(lint.code, 0u) << lint.output;
  EXPECT_NE(lint.output.find(u8"パック試験"), std::string::npos) << lint.output;

  // A 2x2 top-down 24-bit BMP exactly as the tool writes one: rows of 8 bytes.
  std::string bmp(54 + 2 * 8, '\0');
  const unsigned char header[] = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0,
                                  2, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 1, 0, 24, 0};  // width 2, height -2
  bmp.replace(0, sizeof header, reinterpret_cast<const char*>(header), sizeof header);
  const unsigned char pixels[] = {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 40, 80, 120, 0, 0};
  bmp.replace(54, sizeof pixels, reinterpret_cast<const char*>(pixels), sizeof pixels);
  ASSERT_TRUE(WriteBytes(work_ + L"\\絵.bmp", bmp));
  const ToolRun to_title = RunTool(L"image " + Quote(work_ + L"\\絵.bmp") + L" -o " + Quote(work_ + L"\\題.rct"));
  ASSERT_EQ(to_title.code, 0u) << to_title.output;
  const ToolRun back = RunTool(L"image " + Quote(work_ + L"\\題.rct") + L" -o " + Quote(work_ + L"\\戻り.bmp"));
  ASSERT_EQ(back.code, 0u) << back.output;
  EXPECT_EQ(Compare(ReadBytes(work_ + L"\\戻り.bmp"), bmp), "equal");

  ASSERT_TRUE(WriteBytes(work_ + L"\\絵.png", "\x89PNG\r\n\x1A\n"));
  const ToolRun png = RunTool(L"image " + Quote(work_ + L"\\絵.png") + L" -o " + Quote(work_ + L"\\x.rct"));
  EXPECT_EQ(png.code, 1u);
  EXPECT_NE(png.output.find("built without libpng"), std::string::npos) << png.output;
  const ToolRun help = RunTool(L"image --help");
  EXPECT_NE(help.output.find("this build has no PNG"), std::string::npos) << help.output;
}

}  // namespace
