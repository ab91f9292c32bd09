// Whole files in and out, and the folders of the trees the tests run from.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quill_test {

// The whole file ("" or empty when it cannot be read).
std::string ReadFile(const std::filesystem::path& path);
std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path);
// Replaces the file's content.
void WriteFile(const std::filesystem::path& path, std::string_view content);

// Open file descriptors of this process, to see that a run leaves none behind.
int OpenDescriptors();

// The build tree's bin folder (where the programs and test programs are built) and the
// source tree; the test programs set both for themselves, also when started by hand.
std::filesystem::path BuildBin();
std::filesystem::path SourceDir();
// The folder of the running program itself.
std::filesystem::path ProgramDir();
// <build>/gallery, made if missing: pictures the tests draw, for a person to look at.
std::filesystem::path GalleryFolder();

}  // namespace quill_test
