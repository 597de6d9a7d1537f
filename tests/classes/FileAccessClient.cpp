#include "FileAccessClient.h"

#include <oleauto.h>

#include <cstdio>

#include "support/Bstr.h"

namespace korvane::test {

namespace {

// What a failing call must leave in its out parameter.
constexpr VARIANT_BOOL untouchedBool = 7;
constexpr long untouchedCount = -7777;

std::string hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

template <class Value>
std::string outcome(HRESULT hr, const Value& out, const Value& untouched, std::string shown) {
  if (SUCCEEDED(hr)) return shown;
  return failureOutcome(hr) + (out == untouched ? "" : " (out written)");
}

std::string utf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string result(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), result.data(), size, nullptr, nullptr);
  return result;
}

}  // namespace

std::string failureOutcome(HRESULT hr) {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.put()) != S_OK || !info) return hex(hr) + " (no error object)";
  Bstr description;
  info->GetDescription(description.put());
  return hex(hr) + " " + utf8(description.view());
}

std::string quoted(std::wstring_view name) { return "\"" + utf8(name) + "\""; }

std::string FileAccessClient::Reset() {
  VARIANT_BOOL result = untouchedBool;
  const HRESULT hr = object_->Reset(&result);
  return outcome(hr, result, untouchedBool, std::to_string(result));
}

std::string FileAccessClient::Rewrite() {
  VARIANT_BOOL result = untouchedBool;
  const HRESULT hr = object_->Rewrite(&result);
  return outcome(hr, result, untouchedBool, std::to_string(result));
}

std::string FileAccessClient::Close() {
  VARIANT_BOOL result = untouchedBool;
  const HRESULT hr = object_->Close(&result);
  return outcome(hr, result, untouchedBool, std::to_string(result));
}

std::string FileAccessClient::State() {
  long state = untouchedCount;
  const HRESULT hr = object_->get_State(&state);
  return outcome(hr, state, untouchedCount, std::to_string(state));
}

std::string FileAccessClient::FileName() {
  BSTR name = reinterpret_cast<BSTR>(1);  // must be set to null first
  const HRESULT hr = object_->get_FileName(&name);
  if (FAILED(hr)) return outcome(hr, name, BSTR{}, "");
  const Bstr owned = Bstr::adopt(name);
  return owned.get() ? quoted(owned.view()) : "null";
}

std::string FileAccessClient::setFileName(std::wstring_view name) {
  const Bstr value(name);
  const HRESULT hr = object_->put_FileName(value.get());
  return SUCCEEDED(hr) ? "ok" : failureOutcome(hr);
}

std::string FileAccessClient::read(std::string& into, long size) {
  into.assign(size > 0 ? size : 0, '\0');
  long count = untouchedCount;
  const HRESULT hr = object_->BlockRead(into.data(), size, &count);
  into.resize(SUCCEEDED(hr) ? count : 0);
  return outcome(hr, count, untouchedCount, std::to_string(count));
}

std::string FileAccessClient::write(std::string_view bytes) {
  long count = untouchedCount;
  const HRESULT hr = object_->BlockWrite(const_cast<char*>(bytes.data()), long(bytes.size()), &count);
  return outcome(hr, count, untouchedCount, std::to_string(count));
}

}  // namespace korvane::test
