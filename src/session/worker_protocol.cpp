// Framing and the run plan in the worker messages.

#include "worker_protocol.h"

#include <chrono>
#include <exception>
#include <memory>

#include <json/reader.h>
#include <json/writer.h>

namespace zorel::worker {
namespace {

std::string Compact(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  builder["emitUTF8"] = true;
  return Json::writeString(builder, value);
}

bool Parse(const char* begin, const char* end, Json::Value& value) {
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  try {
    return reader->parse(begin, end, &value, &errors);
  } catch (const std::exception&) {
    return false;  // nested deeper than the reader follows: a broken peer
  }
}

}  // namespace

bool Send(platform::IMessageChannel& channel, const Json::Value& message) {
  const std::string text = Compact(message);
  if (text.size() > kMaxMessageBytes) return false;
  const uint32_t n = static_cast<uint32_t>(text.size());
  std::string frame;
  frame.reserve(4 + text.size());
  for (int i = 0; i < 4; ++i) frame.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
  frame += text;
  return channel.write(frame.data(), frame.size());
}

bool MessageReader::TakeBuffered(Json::Value& message, bool& broken) {
  broken = false;
  if (buffer_.size() < 4) return false;
  uint32_t n = 0;
  for (int i = 0; i < 4; ++i) n |= static_cast<uint32_t>(static_cast<uint8_t>(buffer_[i])) << (8 * i);
  if (n > kMaxMessageBytes) {
    broken = true;
    return false;
  }
  if (buffer_.size() < 4 + static_cast<size_t>(n)) return false;
  Json::Value value;
  const bool parsed = Parse(buffer_.data() + 4, buffer_.data() + 4 + n, value);
  buffer_.erase(0, 4 + static_cast<size_t>(n));
  if (!parsed || !value.isObject()) {
    broken = true;
    return false;
  }
  message = std::move(value);
  return true;
}

platform::ChannelStatus MessageReader::Next(Json::Value& message, uint32_t timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    bool broken = false;
    if (TakeBuffered(message, broken)) return platform::ChannelStatus::Ok;
    if (broken) return platform::ChannelStatus::Closed;
    uint32_t wait = timeoutMs;
    if (timeoutMs != platform::kInfinite) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return platform::ChannelStatus::Timeout;
      wait = static_cast<uint32_t>(left.count());
    }
    const platform::ChannelStatus status = channel_.read(buffer_, wait);
    if (status != platform::ChannelStatus::Ok) return status;
  }
}

Json::Value PlanToJson(const FrameworkManager::RunRequest& plan) {
  Json::Value list(Json::arrayValue);
  for (const auto& [stage, problems] : plan) {
    Json::Value ids(Json::arrayValue);
    for (int32_t id : problems) ids.append(id);
    Json::Value pair(Json::arrayValue);
    pair.append(stage);
    pair.append(ids);
    list.append(pair);
  }
  return list;
}

bool PlanFromJson(const Json::Value& value, FrameworkManager::RunRequest& plan) {
  plan.clear();
  if (!value.isArray()) return false;
  for (const Json::Value& pair : value) {
    if (!pair.isArray() || pair.size() != 2 || !pair[0].isInt() || !pair[1].isArray()) return false;
    std::vector<int32_t>& ids = plan[pair[0].asInt()];
    for (const Json::Value& id : pair[1]) {
      if (!id.isInt()) return false;
      ids.push_back(id.asInt());
    }
  }
  return true;
}

}  // namespace zorel::worker
