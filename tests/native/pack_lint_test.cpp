// panvester-pack lint, run as the distributor runs it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "settings_fixture.h"

namespace {

const std::string kPack = std::string(PV_BINARY_DIR) + "/tools/pack/panvester-pack";

struct LintRun {
  int exit_code = -1;
  std::string output;
};

LintRun RunLint(const std::string& args) {
  LintRun run;
  std::FILE* pipe = popen((kPack + " lint " + args + " 2>&1").c_str(), "r");
  if (!pipe) return run;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) run.output += buffer;
  const int status = pclose(pipe);
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

struct LintRow {
  const char* name;
  std::string file;  // CP932 bytes (the literals of this file are compiled to CP932)
  int exit_code;
  std::vector<std::string> expected;  // lines of the -w output, after "install.env:"
};

class LintRules : public TempFolderTest, public ::testing::WithParamInterface<LintRow> {};

TEST_P(LintRules, WarnAboutWhatTheProgramWillDo) {
  ASSERT_TRUE(std::filesystem::exists(kPack)) << "build the panvester-pack target first";
  const LintRow& row = GetParam();
  WriteFile("install.env", row.file);
  const LintRun run = RunLint("-w install.env");
  EXPECT_EQ(run.exit_code, row.exit_code) << run.output;
  std::string expected;
  for (const std::string& line : row.expected) expected += "install.env:" + line + "\n";
  EXPECT_EQ(run.output, expected);
}

const std::string kLongValue(130, 'L');

INSTANTIATE_TEST_SUITE_P(
    Pack, LintRules,
    ::testing::Values(
        LintRow{"CleanFile",
                "TITLEBAR My|Game\r\nINSTTO MyGame\r\n[ini]\r\nPath=REP_INSTALL\r\n-\r\n[reg]\r\n\"Dir\"=\"REP_INSTALL\"\r\n-\r\n"
                "[EOF]\r\nEOF\r\n",
                0, {}},
        LintRow{"ValueCutAtBlank", "INSTTO My Game\n", 0,
                {"1: warning: value cut at a blank: INSTTO gets \"My\" and the rest is ignored; write My|Game "
                 "(\"|\" stands for a space)"}},
        LintRow{"CaseAndSpelling", "Exename a.exe\nINSTFOLL x\nMYKEY y\n", 0,
                {"1: warning: Exename is not EXENAME: keys are case-sensitive, this one is never read",
                 "2: warning: unknown key INSTFOLL: did you mean INSTFOL?"}},
        LintRow{"NoValueIndentedDuplicate", "EXENAME\n INSTTO x\nINSTTO a\nINSTTO b\n", 0,
                {"1: warning: EXENAME has no value: the line gives nothing",
                 "2: warning: indented: ignored (INSTTO is not set here)",
                 "4: warning: INSTTO again: the first one (line 3) wins and this value is never used"}},
        LintRow{"ValueTooFar", "INSTTO" + std::string(100, ' ') + "x\n", 0,
                {"1: warning: the value of INSTTO starts more than 99 blanks after the key: the line gives nothing"}},
        LintRow{"TooLongForTheBuffer", "TITLEBAR " + kLongValue + "\n", 0,
                {"1: warning: TITLEBAR is 130 bytes long; the program uses the first 127"}},
        LintRow{"AfterEofMarker", "[EOF]\nEXENAME late.exe\n", 0,
                {"2: warning: EXENAME is never read as a setting: it comes after [EOF] (line 1)"}},
        LintRow{"UnterminatedSection", "[ini]\na=1\n[reg]\n\"n\"=\"v\"\nEOF\n", 1,
                {"3: error: [reg] is not closed with a line \"-\" before EOF or the end of the file: the program "
                 "stops at start-up with an error"}},
        LintRow{"ReopenedAndRefused", "[ini]\na=1\n-\n[ini]\nnoequals\n-\n[reg]\n\"n\"=v\n-\n", 0,
                {"4: warning: [ini] again: the lines of the one at line 1 are dropped",
                 "5: warning: [ini] line without \"=\": skipped when installing",
                 "8: warning: [reg] line not of the form \"name\"=\"value\": skipped when installing"}},
        LintRow{"PlaceholderMisuse", "[ini]\nD=REP_CDROM\n-\n[reg]\n\"D\"=\"REP_CDROMDRIVE\"\n-\n", 0,
                {"2: warning: REP_CDROM is not replaced in [ini] lines (REP_CDROMDRIVE is)",
                 "5: warning: in [reg] lines REP_CDROM is replaced, so REP_CDROMDRIVE becomes the drive root and "
                 "DRIVE"}},
        LintRow{"InstallFolderMayOverflow", "[ini]\nP=" + std::string(260, 'v') + "REP_INSTALL\n-\n", 0,
                {"2: warning: longer than 511 bytes once REP_INSTALL becomes a long install folder: the program "
                 "would skip it"}},
        LintRow{"DeleteLinesTheUninstallerRefuses",
                "[delfiles]\n..\\x.dat\nsave\\*\\x.dat\nC:\\*\nsave\\*.dat\n-\n"
                "[delfiles_user]\n%APPDATA%\\Maker\\*.sav\nREP_INSTALL\n%APPDATA%\\Maker\\Game\\*.sav\nD:\\Saves\\a.sav\n-\n",
                0,
                {"2: warning: [delfiles] \"..\\x.dat\": the uninstaller refuses this line ('.' or '..' component) "
                 "and deletes nothing for it",
                 "3: warning: [delfiles] \"save\\*\\x.dat\": the uninstaller refuses this line (wildcard before "
                 "the last component) and deletes nothing for it",
                 "4: warning: [delfiles] \"C:\\*\": the uninstaller refuses this line (a drive root or a wildcard "
                 "in one) and deletes nothing for it",
                 "8: warning: [delfiles_user] \"%APPDATA%\\Maker\\*.sav\": the uninstaller refuses this line "
                 "(less than two levels below a data folder) and deletes nothing for it",
                 "9: warning: [delfiles_user] \"REP_INSTALL\": the uninstaller refuses this line (the install "
                 "folder itself or a folder above it) and deletes nothing for it",
                 "11: warning: [delfiles_user] \"D:\\Saves\\a.sav\": the uninstaller refuses this line (outside "
                 "the install folder and the data folders) and deletes nothing for it"}},
        // "ソ" ends in a 0x5C byte, which is no backslash.
        LintRow{"BackslashInTitle", "TITLEBAR Maker\\Game\nINSTTO ソフト\n", 0,
                {"1: warning: TITLEBAR contains \"\\\": the single-instance check cannot use such a title, and the "
                 "setup program stops at start-up"}},
        LintRow{"TitleWithATrailByte0x5C", "TITLEBAR ソフト\n", 0, {}},
        LintRow{"SectionLineSetsAKey", "[delfiles]\nINSTTO shadow\n-\nINSTTO real\n", 0,
                {"2: warning: this section line also sets INSTTO = \"shadow\" for the settings",
                 "4: warning: INSTTO again: the first one (line 2) wins and this value is never used"}}),
    [](const ::testing::TestParamInfo<LintRow>& info) { return std::string(info.param.name); });

class LintOutput : public TempFolderTest {};

TEST_F(LintOutput, FullReportShowsEveryLineInUtf8) {
  ASSERT_TRUE(std::filesystem::exists(kPack)) << "build the panvester-pack target first";
  WriteFile("install.env", "TITLEBAR 私の|ゲーム\r\n// note\r\n[delfiles]\r\nsave\\*.*\r\n-\r\n");
  const LintRun run = RunLint("install.env");
  EXPECT_EQ(run.exit_code, 0);
  // The expected text is UTF-8 whatever the literals of this file are compiled to.
  EXPECT_EQ(run.output,
            "install.env:1: TITLEBAR = \"\xE7\xA7\x81\xE3\x81\xAE \xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0\"\n"
            "install.env:2: comment\n"
            "install.env:3: opens [delfiles]\n"
            "install.env:4: [delfiles] \"save\\*.*\" (kept for the uninstaller)\n"
            "install.env:5: closes [delfiles]\n"
            "install.env: 1 settings, 0 warnings, 0 errors\n"
            "install.env: what each key, section and placeholder does: see docs/install-env.md\n");
}

TEST_F(LintOutput, MissingFileIsAnError) {
  ASSERT_TRUE(std::filesystem::exists(kPack)) << "build the panvester-pack target first";
  const LintRun run = RunLint("absent.env");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.output.find("absent.env: error: cannot be read"), std::string::npos) << run.output;
}

}  // namespace
