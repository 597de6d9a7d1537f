#include <windows.h>
#include <doctest/doctest.h>

#include <cstdint>
#include <string>

#include "FileTestSupport.h"
#include "file/BinaryFile.h"
#include "support/Handle.h"

using korvane::BinaryFile;
using korvane::UniqueHandle;
using namespace korvane::test;

namespace {

constexpr std::int64_t GiB = std::int64_t(1) << 30;

bool moveTo(HANDLE file, std::int64_t position) {
  LARGE_INTEGER to;
  to.QuadPart = position;
  return SetFilePointerEx(file, to, nullptr, FILE_BEGIN);
}

// Extending a file leaves a hole that takes no disk space where the file
// system supports it, so these files are cheap to make.
bool resize(HANDLE file, std::int64_t size) {
  return moveTo(file, size) && SetEndOfFile(file);
}

}  // namespace

TEST_CASE("files of 2 GiB and more report their true size, position and end") {
  TempFolder folder;
  const std::wstring path = folder / L"large.bin";
  UniqueHandle handle(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  REQUIRE(handle.valid());
  if (!resize(handle.get(), 4 * GiB + 16)) {
    MESSAGE("skipped: the file system refused a file of 4 GiB (system error " << GetLastError() << ")");
    return;
  }

  SUBCASE("opened by name") {
    BinaryFile file;
    file.Bind(path);
    file.OpenExisting();
    CHECK(file.Size() == 4 * GiB + 16);
    CHECK(file.Position() == 0);
    CHECK_FALSE(file.AtEnd());
  }

  // BinaryFile has no seek of its own. To look at positions beyond 2 GiB
  // without reading gigabytes, the test places its own handle where it wants
  // and hands it over as the standard input, which the empty name opens.
  SUBCASE("positioned near and past 2^31 and 2^32") {
    const struct {
      std::int64_t size;
      std::int64_t position;
      bool atEnd;
    } cases[] = {
        {2 * GiB, 2 * GiB - 1, false},
        {2 * GiB, 2 * GiB, true},
        {2 * GiB, 2 * GiB + 1, true},  // past the end
        {4 * GiB + 16, 2 * GiB, false},
        {4 * GiB + 16, 4 * GiB - 1, false},
        {4 * GiB + 16, 4 * GiB, false},
        {4 * GiB + 16, 4 * GiB + 16, true},
        {4 * GiB + 16, 4 * GiB + 17, true},
    };
    for (const auto& [size, position, atEnd] : cases) {
      CAPTURE(size);
      CAPTURE(position);
      REQUIRE(resize(handle.get(), size));
      REQUIRE(moveTo(handle.get(), position));
      const StandardHandleOverride input(STD_INPUT_HANDLE, handle.get());
      BinaryFile file;
      file.Bind(L"");
      file.OpenExisting();
      CHECK(file.Position() == position);
      CHECK(file.Size() == size);
      CHECK(file.AtEnd() == atEnd);
      file.Close();
    }
  }

  SUBCASE("read up to the end and written beyond 4 GiB") {
    REQUIRE(moveTo(handle.get(), 4 * GiB + 12));
    const StandardHandleOverride input(STD_INPUT_HANDLE, handle.get());
    BinaryFile file;
    file.Bind(L"");
    file.OpenExisting();
    char block[8];
    CHECK(file.ReadBlock(block, sizeof block) == 4);
    CHECK(file.Position() == 4 * GiB + 16);
    CHECK(file.AtEnd());
    CHECK(file.WriteBlock("tail", 4) == 4);
    CHECK(file.Size() == 4 * GiB + 20);
    CHECK(file.AtEnd());
  }
}
