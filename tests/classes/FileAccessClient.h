// An early-bound ICFileAccess client for tests. Each call returns what it
// came to as one line of text, so that a test compares whole outcomes:
//   success: the out value ("-1" for true, a count, the quoted name, or
//            "null" for a null BSTR), or "ok" for the put of FileName;
//   failure: the HRESULT in hexadecimal and the error object's description,
//            e.g. "0x8000FFFF File not open", and " (out written)" at the
//            end if the failing call wrote its out parameter.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

#include "Korvane_TLB.h"
#include "support/ComPtr.h"

namespace korvane::test {

class FileAccessClient {
 public:
  explicit FileAccessClient(ComPtr<ICFileAccess> object) : object_(std::move(object)) {}

  ICFileAccess* get() const { return object_.get(); }
  // Releases the client's reference.
  void release() { object_.reset(); }

  std::string Reset();
  std::string Rewrite();
  std::string Close();
  std::string State();
  std::string FileName();
  std::string setFileName(std::wstring_view name);
  // BlockRead into `into`, which keeps what was read: as many bytes as the
  // call reports, none when it fails.
  std::string read(std::string& into, long size);
  std::string write(std::string_view bytes);

 private:
  ComPtr<ICFileAccess> object_;
};

// The outcome of a failed call: the HRESULT and the description of the
// thread's error object (which this takes), or "(no error object)".
std::string failureOutcome(HRESULT hr);

// A name in the quoting of FileName outcomes.
std::string quoted(std::wstring_view name);

}  // namespace korvane::test
