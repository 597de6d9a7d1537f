#include <windows.h>
#include <doctest/doctest.h>

#include "TransferFixture.h"

#include <algorithm>

using namespace korvane::test;

namespace {

constexpr size_t Piece = 1 << 20;

// Writes `size` pattern bytes in pieces, so that no test holds a big file whole.
void writePattern(const std::wstring& path, std::uint64_t size, std::uint32_t seed) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  REQUIRE(h != INVALID_HANDLE_VALUE);
  std::vector<std::byte> piece(Piece);
  for (std::uint64_t offset = 0; offset < size; offset += Piece) {
    const size_t count = size_t(std::min<std::uint64_t>(Piece, size - offset));
    fillPattern(piece.data(), count, offset, seed);
    DWORD written = 0;
    WriteFile(h, piece.data(), DWORD(count), &written, nullptr);
  }
  CloseHandle(h);
}

// Whether the file holds exactly `size` pattern bytes, compared piece by piece.
bool holdsPattern(const std::wstring& path, std::uint64_t size, std::uint32_t seed) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER actual{};
  GetFileSizeEx(h, &actual);
  bool same = std::uint64_t(actual.QuadPart) == size;
  std::vector<std::byte> expected(Piece), read(Piece);
  for (std::uint64_t offset = 0; same && offset < size; offset += Piece) {
    const size_t count = size_t(std::min<std::uint64_t>(Piece, size - offset));
    fillPattern(expected.data(), count, offset, seed);
    DWORD got = 0;
    ReadFile(h, read.data(), DWORD(count), &got, nullptr);
    same = got == count && std::equal(read.begin(), read.begin() + count, expected.begin());
  }
  CloseHandle(h);
  return same;
}

}  // namespace

TEST_CASE("round trips are byte-exact from 0 bytes to 64 MiB") {
  const std::uint64_t sizes[] = {0, 1, 4095, 4096, 4097, (1 << 20) + 3, 64ull << 20};
  forEachBackend([&](const Backend& backend) {
    TransferFixture t(backend, L"round_trip");
    int id = 0;
    for (std::uint64_t size : sizes) {
      CAPTURE(size);
      ++id;
      writePattern(t.folder + L"in.bin", size, std::uint32_t(id));
      CHECK(t.write(L"in.bin", 4096, integerId(id), nullptr) == false);  // no such row yet
      CHECK(t.write(L"in.bin", 4096, missingId(), nullptr));
      t.db.execute(L"UPDATE " + t.table + L" SET id = " + std::to_wstring(id) + L" WHERE id IS NULL");
      if (size == 0) {
        // Nothing stored: a read of no bytes is a failed read, and creates nothing.
        CHECK_FALSE(t.read(L"out.bin", 4096, id, nullptr));
        CHECK_FALSE(readFile(t.folder + L"out.bin"));
        continue;
      }
      CHECK(t.db.number(L"SELECT " + backend.lengthOf + L"(img) FROM " + t.table + L" WHERE id = " +
                        std::to_wstring(id)) == std::int64_t(size));
      RecordingEvents events;
      CHECK(t.read(L"out.bin", 4096, id, &events));
      CHECK(events.percentages.front() == 0);
      CHECK(events.percentages.back() == 100);
      CHECK(events.percentages.size() <= 102);
      CHECK(holdsPattern(t.folder + L"out.bin", size, std::uint32_t(id)));
    }
    DeleteFileW((t.folder + L"in.bin").c_str());
    DeleteFileW((t.folder + L"out.bin").c_str());
  });
}
