// Shared by the settings tests: a private temporary folder that is also the current
// directory while a test runs, and small file helpers.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "settings/resource_opener.h"
#include "settings/setting_list.h"

class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = std::filesystem::current_path();
    std::string pattern = (std::filesystem::temp_directory_path() / "pv-settings-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(saved_);
    std::filesystem::remove_all(dir_);
  }

  // Writes bytes exactly as given (relative to the temporary folder).
  static void WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out << bytes;
  }

  static std::string ReadAll(std::FILE* file) {
    std::string text;
    char buffer[256];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
    return text;
  }

  std::filesystem::path saved_;
  std::filesystem::path dir_;
};

// Settings read from an install.env written into the temporary folder, plain files only.
class LoadedSettingsTest : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    ResetSettingsForTesting();
    SetSettingFileOpener(nullptr);
    ClearRegisteredPlaces();
    SetBaseFolderPrefix("");
    SetPlainFileSwitch(1);
  }
  void TearDown() override {
    ResetSettingsForTesting();
    TempFolderTest::TearDown();
  }
  void Load(const std::string& text) {
    WriteFile("install.env", text);
    ASSERT_EQ(LoadSettingList("install.env"), 0);
  }
};
