// Stand-ins for the outside servers of a conversion run (IDVDDataObj, IPicShowObj,
// IMpegEnc, IAVIEncode), in a server library of their own that a test registers
// under the real class identifiers. Their tables of methods are laid out slot by
// slot from the calling contract, apart from the program's interface declarations:
// each entry records its own position and its arguments as that contract types
// them, so a method the program reaches at another position, or passes other
// arguments to, shows in the record.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include <com/com.h>

#define RECORDING_API __attribute__((visibility("default")))

namespace recording {

enum class Server { DvdData, PicShow, MpegEnc, AviEncode };

// Integers and pointers (by address), doubles, and BSTR texts.
using Arg = std::variant<std::int64_t, double, std::string>;

// Not methods: an object of the class was made, or released for the last time.
inline constexpr int kCreated = -1;
inline constexpr int kReleased = -2;

struct Call {
  Server server;
  int slot;
  std::vector<Arg> args;  // out-parameters are not recorded
  bool operator==(const Call&) const = default;
};

// What the servers answer. The data object delivers pictures at the position it
// was sought to, then one position further each (value1 = kSoundBase + i, value2 =
// kSoundBytes + i for picture i from 0), with planes of the source size filled.
// The painter answers Open with paintOpenResult and fails the paintFailAt-th
// ShowFrame (from 1; 0 none), leaving no error information.
// Any other method fails as `failures` say: the call-th call (from 1) at the slot
// answers E_FAIL, with no error information; it is recorded all the same, and a
// failed ReadFrame or GetFileSize fills nothing.
struct Failure {
  Server server;
  int slot;
  int call = 1;
};
struct Script {
  int sourceWidth = 720, sourceHeight = 576;
  std::vector<double> fileSizes;  // GetFileSize answers these in turn, then 0
  std::vector<std::pair<std::string, INT>> codecs;  // the AVI encoder's codec list
  HRESULT paintOpenResult = S_OK;
  int paintFailAt = 0;
  std::vector<Failure> failures;
};
inline constexpr INT_PTR kSoundBase = 0x5000000;
inline constexpr INT kSoundBytes = 7000;

// Clears the record and sets what the servers answer from now on.
RECORDING_API void Reset(const Script& script);
RECORDING_API std::vector<Call> Calls();
// Objects made and not yet released for the last time.
RECORDING_API int LiveObjects();

}  // namespace recording
