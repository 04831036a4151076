#pragma once
// The messages between the session controller and its framework worker
// process: one JSON object each, sent as a 4-byte little-endian length and
// the compact UTF-8 text.
//
// Controller to worker:
//   {"op":"initialize","script":S,"folder":F,"cancelled":B}
//   {"op":"execute","plan":[[stage,[problem,...]],...],"cancelled":B}
//   {"op":"package","finalize":B,"cancelled":B}
//   {"op":"cancel"}   at any time: signals the worker's cancel event
//   {"op":"quit"}
// Worker to controller, for each call: any number of
//   {"op":"progress","stageId":N,"percentage":N,"message":S,"errorcode":N}
// then {"op":"reply","ok":B[,"result":<ResultJson value>]}.

#include <cstdint>
#include <string>

#include <json/value.h>

#include "zorel/framework/framework_manager.h"
#include "zorel/platform/process/child_process.h"

namespace zorel::worker {

// A longer message is a broken peer; the channel is dropped.
inline constexpr uint32_t kMaxMessageBytes = 64u * 1024u * 1024u;

bool Send(platform::IMessageChannel& channel, const Json::Value& message);

class MessageReader {
 public:
  explicit MessageReader(platform::IMessageChannel& channel) : channel_(channel) {}
  // The next message, waiting up to timeoutMs for it. Closed also for a
  // message that is too long or not a JSON object.
  platform::ChannelStatus Next(Json::Value& message, uint32_t timeoutMs);

 private:
  bool TakeBuffered(Json::Value& message, bool& broken);

  platform::IMessageChannel& channel_;
  std::string buffer_;
};

Json::Value PlanToJson(const FrameworkManager::RunRequest& plan);
// False when the value is not a list of [int, [int...]] pairs.
bool PlanFromJson(const Json::Value& value, FrameworkManager::RunRequest& plan);

}  // namespace zorel::worker
