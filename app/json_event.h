// One JSON object on one line, for the console front end's --json events:
//   JsonEvent("status").text("text", "Connection established").str()
//   → {"event":"status","text":"Connection established"}
// Members keep the order they were added in.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace tarmix {

// The text as a JSON string, quotes included. Control characters are escaped; bytes that
// are not valid UTF-8 are taken as ISO 8859-1 characters, so the line is always valid.
std::string JsonString(std::string_view text);

// Text for a JSON value: valid UTF-8 stays as it is, any other byte is read as ISO 8859-1.
std::string JsonText(std::string_view text);

class JsonEvent {
  public:
    explicit JsonEvent(std::string_view name) { text("event", name); }

    JsonEvent& text(std::string_view key, std::string_view value);
    JsonEvent& number(std::string_view key, long long value);
    JsonEvent& real(std::string_view key, double value);  // null when not finite
    JsonEvent& flag(std::string_view key, bool value);
    JsonEvent& json(std::string_view key, nlohmann::ordered_json value);  // as it is

    // The object, without a line end.
    std::string str() const { return body_.dump(); }

  private:
    nlohmann::ordered_json body_ = nlohmann::ordered_json::object();
};

}  // namespace tarmix
