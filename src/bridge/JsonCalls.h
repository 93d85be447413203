// JsonCalls: one call of the method table given as a JSON object, answered as
// one. The command's session and the loopback bridge share it, so that a call
// reads and answers the same through either door.
//
//   {"id":7,"method":"Hash","args":["abc",0]}
//   -> {"id":7,"result":"...","errorCode":0,"capiError":0}
//
// "id" (a number, a string or null) is echoed when given. A text that is not
// such an object, names no method or does not fit the method's arguments is
// answered {"usageError":"..."} (with the id when one could be read), and
// nothing runs.
#pragma once

#include <string>
#include <string_view>

#include "engine/Engine.h"

namespace pennaform::bridge {

// answerJsonCall: runs the call `text` describes on `engine`; the answer as
// compact JSON text (invalid UTF-8 in a result replaced, never thrown on).
std::string answerJsonCall(Engine& engine, std::string_view text);

}  // namespace pennaform::bridge
