// CInOutFileDB called late-bound, through IDispatch::Invoke as script and
// Visual Basic clients call it: the optional arguments of the write, the
// required ones of the read, keys passed by reference, and what a failure
// looks like from there.
#include <windows.h>
#include <doctest/doctest.h>

#include "InOutFileDBClient.h"
#include "support/Bstr.h"

#include <vector>

using namespace korvane::test;
using korvane::Bstr;
using korvane::ComPtr;
using korvane::Variant;
using Bytes = std::vector<std::byte>;
using Events = std::vector<long>;

namespace {

VARIANT text(const Bstr& value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = value.get();  // lent: the caller keeps the string
  return v;
}

// A late-bound call: the method by name, the positional arguments in
// reading order, and optionally named ones.
struct LateCall {
  HRESULT hr;
  Variant result;
  UINT argumentError = 0;
};

LateCall invoke(IDispatch& object, const wchar_t* method, std::vector<VARIANT> positional,
                const std::vector<std::pair<const wchar_t*, VARIANT>>& named = {}) {
  std::vector<LPOLESTR> names{const_cast<LPOLESTR>(method)};
  for (const auto& [name, value] : named) names.push_back(const_cast<LPOLESTR>(name));
  std::vector<DISPID> ids(names.size());
  REQUIRE(object.GetIDsOfNames(IID_NULL, names.data(), UINT(names.size()), 0, ids.data()) == S_OK);

  // DISPPARAMS holds the named arguments first, then the positional ones in
  // reverse order.
  std::vector<VARIANT> arguments;
  for (const auto& [name, value] : named) arguments.push_back(value);
  arguments.insert(arguments.end(), positional.rbegin(), positional.rend());
  DISPPARAMS parameters{arguments.data(), named.empty() ? nullptr : ids.data() + 1, UINT(arguments.size()),
                        UINT(named.size())};
  LateCall call{};
  EXCEPINFO exception{};
  call.hr = object.Invoke(ids[0], IID_NULL, 0, DISPATCH_METHOD, &parameters, call.result.get(), &exception,
                          &call.argumentError);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  return call;
}

ComPtr<IDispatch> dispatchOf(const InOutFileDBClient& client) {
  ComPtr<IDispatch> dispatch;
  REQUIRE(client.object.query(IID_IDispatch, dispatch) == S_OK);
  return dispatch;
}

// The five leading arguments both methods share.
struct LeadingArguments {
  Bstr connection, fileName, table, imageField;
  std::vector<VARIANT> values(long bufferSize) const {
    return {text(connection), text(fileName), integerId(bufferSize), text(table), text(imageField)};
  }
};

LeadingArguments leading(const InOutFileDBClient& client, const std::wstring& file) {
  return {Bstr(client.backend.connection), Bstr(client.folder + file), Bstr(client.table), Bstr(L"img")};
}

}  // namespace

TEST_CASE("late-bound write with five arguments: the default IDField \"ID\" and a missing ID") {
  onEachBackend(L"late_write", [&](InOutFileDBClient& client) {
    const Bytes content = pattern(10000, 21), other = pattern(6000, 22);
    writeFile(client.folder + L"in.bin", content);
    writeFile(client.folder + L"other.bin", other);
    client.db.insert(client.table, 7, pattern(10));
    const auto dispatch = dispatchOf(client);

    // ID left out: a new row, with the events of the early-bound call.
    const auto in = leading(client, L"in.bin");
    auto call = invoke(*dispatch.get(), L"WriteFileToDatabase", in.values(4096));
    CHECK(call.hr == S_OK);
    CHECK(call.result.type() == VT_BOOL);
    CHECK(V_BOOL(call.result.get()) == VARIANT_TRUE);
    CHECK(client.sink.percentages() == Events{0, 41, 82, 100, 100});
    CHECK(client.rows() == 2);
    CHECK(client.db.bytes(L"SELECT img FROM " + client.table + L" WHERE id IS NULL") == content);

    // ID given by name, IDField left out: the key is looked up in field "ID".
    const auto otherIn = leading(client, L"other.bin");
    call = invoke(*dispatch.get(), L"WriteFileToDatabase", otherIn.values(4096), {{L"ID", integerId(7)}});
    CHECK(call.hr == S_OK);
    CHECK(V_BOOL(call.result.get()) == VARIANT_TRUE);
    CHECK(client.stored(7) == other);
    CHECK(client.rows() == 2);
  });
}

TEST_CASE("late-bound read needs all seven arguments") {
  onEachBackend(L"late_read", [&](InOutFileDBClient& client) {
    const Bytes content = pattern(5000, 23);
    client.db.insert(client.table, 1, content);
    const auto dispatch = dispatchOf(client);
    const auto out = leading(client, L"out.bin");
    const Bstr idField(L"id");

    for (size_t count : {5u, 6u}) {
      CAPTURE(count);
      std::vector<VARIANT> arguments = out.values(4096);
      if (count == 6) arguments.push_back(text(idField));
      const auto call = invoke(*dispatch.get(), L"ReadFileFromDatabase", arguments);
      CHECK(call.hr == DISP_E_BADPARAMCOUNT);
      CHECK(client.sink.percentages().empty());
      CHECK_FALSE(readFile(client.folder + L"out.bin"));
    }

    std::vector<VARIANT> arguments = out.values(4096);
    arguments.push_back(text(idField));
    arguments.push_back(integerId(1));
    const auto call = invoke(*dispatch.get(), L"ReadFileFromDatabase", arguments);
    CHECK(call.hr == S_OK);
    CHECK(V_BOOL(call.result.get()) == VARIANT_TRUE);
    CHECK(client.sink.percentages() == Events{0, 82, 100, 100});
    CHECK(readFile(client.folder + L"out.bin") == content);
  });
}

TEST_CASE("late-bound keys passed by reference are the values they refer to") {
  onEachBackend(L"late_byref", [&](InOutFileDBClient& client) {
    const Bytes content = pattern(3000, 24);
    writeFile(client.folder + L"in.bin", content);
    client.db.insert(client.table, 3, pattern(10));
    const auto dispatch = dispatchOf(client);
    const Bstr idField(L"id");

    // A script passes a variable as a reference to a VARIANT; a compiled
    // client may pass a typed reference.
    VARIANT three = integerId(3);
    LONG threeValue = 3;
    VARIANT variantRef, longRef;
    V_VT(&variantRef) = VT_VARIANT | VT_BYREF;
    V_VARIANTREF(&variantRef) = &three;
    V_VT(&longRef) = VT_I4 | VT_BYREF;
    V_I4REF(&longRef) = &threeValue;

    for (const VARIANT& key : {variantRef, longRef}) {
      CAPTURE(V_VT(&key));
      const auto in = leading(client, L"in.bin");
      std::vector<VARIANT> arguments = in.values(4096);
      arguments.push_back(text(idField));
      arguments.push_back(key);
      auto call = invoke(*dispatch.get(), L"WriteFileToDatabase", arguments);
      CHECK(call.hr == S_OK);
      CHECK(V_BOOL(call.result.get()) == VARIANT_TRUE);
      CHECK(client.stored(3) == content);
      CHECK(client.rows() == 1);

      const auto out = leading(client, L"out.bin");
      arguments = out.values(4096);
      arguments.push_back(text(idField));
      arguments.push_back(key);
      call = invoke(*dispatch.get(), L"ReadFileFromDatabase", arguments);
      CHECK(call.hr == S_OK);
      CHECK(V_BOOL(call.result.get()) == VARIANT_TRUE);
      CHECK(readFile(client.folder + L"out.bin") == content);
      DeleteFileW((client.folder + L"out.bin").c_str());
    }
  });
}

TEST_CASE("a late-bound failure returns false with S_OK, and the error object stays for the caller") {
  onEachBackend(L"late_failure", [&](InOutFileDBClient& client) {
    const auto dispatch = dispatchOf(client);
    const auto missing = leading(client, L"missing.bin");
    const auto call = invoke(*dispatch.get(), L"WriteFileToDatabase", missing.values(4096));
    CHECK(call.hr == S_OK);
    CHECK(call.result.type() == VT_BOOL);
    CHECK(V_BOOL(call.result.get()) == VARIANT_FALSE);
    const auto error = takeErrorObject();
    REQUIRE(error);
    CHECK(error->source == L"Korvane.CInOutFileDB");
    CHECK(error->description == L"File not found");
  });
}
