// The records the protected uninstaller works from: what the install writes reads back, and
// a file that is not exactly that names no folder at all.
#include "system/uninstall_records.h"

#include <gtest/gtest.h>

namespace {

TEST(UninstallRecords, RoundTripAndRefusals) {
  UninstallRecords written;
  written.install_folder = "C:\\Games\\ソフト 表\\Game";
  written.made_folders = {"C:\\Games", "C:\\Games\\ソフト 表"};
  UninstallRecords read;
  ASSERT_TRUE(ParseUninstallRecords(FormatUninstallRecords(written), &read));
  EXPECT_EQ(read.install_folder, written.install_folder);
  EXPECT_EQ(read.made_folders, written.made_folders);

  for (const char* text : {
           "",
           "FOLDER C:\\Games\\Game\r\n",                                     // no header
           "PanvesterUninstall 2\r\nFOLDER C:\\Games\\Game\r\n",             // another version
           "PanvesterUninstall 1\r\n",                                       // no folder
           "PanvesterUninstall 1\r\nFOLDER Games\\Game\r\n",                 // relative
           "PanvesterUninstall 1\r\nFOLDER C:\\G\r\nMADE ..\\x\r\n",         // a relative made folder
           "PanvesterUninstall 1\r\nFOLDER C:\\G\r\nDELETE C:\\Windows\r\n",  // a line of no kind
       }) {
    EXPECT_FALSE(ParseUninstallRecords(text, &read)) << text;
  }
}

}  // namespace
