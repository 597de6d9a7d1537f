// The boundaries at which failures leave the library. Inside, every failure
// is a korvane::Failure exception; each interface convention converts it in
// exactly one of these functions:
//  - HRESULT methods: the error result plus an error object for the thread;
//  - VARIANT_BOOL methods: false plus an error object;
//  - registry-style methods: the code -1.
// A fault that is not a Failure carries no message and sets no error object.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <string>

#include "support/Failure.h"

namespace korvane {

// Where an error object says a failure comes from.
struct ErrorSource {
  GUID guid;            // the interface that failed
  std::wstring progId;  // shown to clients as the error's source
};

// Installs an error object describing the failure for the calling thread and
// returns the HRESULT that reports it: the failure's own code when it has a
// negative one, E_UNEXPECTED otherwise (also when no error object can be made).
HRESULT publishFailure(const Failure& failure, const ErrorSource& source) noexcept;

template <class Body>
HRESULT callReportingHResult(const ErrorSource& source, Body&& body) noexcept {
  try {
    body();
    return S_OK;
  } catch (const Failure& failure) {
    return publishFailure(failure, source);
  } catch (...) {
    return E_UNEXPECTED;
  }
}

// For methods whose only result is a VARIANT_BOOL. The thread's error object
// is cleared first, so that after a false result an error object is present
// exactly when the call failed rather than reporting an outcome.
template <class Body>
VARIANT_BOOL callReportingBool(const ErrorSource& source, Body&& body) noexcept {
  SetErrorInfo(0, nullptr);
  try {
    return body() ? VARIANT_TRUE : VARIANT_FALSE;
  } catch (const Failure& failure) {
    publishFailure(failure, source);
  } catch (...) {
  }
  return VARIANT_FALSE;
}

// For methods that return a registry result code; any failure becomes -1.
template <class Body>
long callReportingCode(Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return -1;
  }
}

// For the exported entry points and class-object methods: a failure becomes
// the given result.
template <class Body>
HRESULT callReturningOnFailure(HRESULT onFailure, Body&& body) noexcept {
  try {
    return body();
  } catch (const Failure& failure) {
    return FAILED(failure.code()) ? failure.code() : onFailure;
  } catch (...) {
    return onFailure;
  }
}

}  // namespace korvane
