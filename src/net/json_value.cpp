#include "net/json_value.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

namespace orvek::net {
namespace {

// Shortest text that reads back as the same double: 2.0 => "2", 0.1 => "0.1".
std::string ShortestDecimal(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

void WriteString(std::string& out, const std::string& text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '/': out += "\\/"; break;
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          // A raw control character would make the whole upload invalid JSON.
          out += "\\u00";
          out += kHex[(c >> 4) & 0xF];
          out += kHex[c & 0xF];
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

void Write(std::string& out, const Json& value) {
  switch (value.type()) {
    case Json::value_t::object: {
      out += '{';
      bool first = true;
      for (const auto& [key, member] : value.items()) {
        if (!first) out += ',';
        first = false;
        WriteString(out, key);
        out += ':';
        Write(out, member);
      }
      out += '}';
      break;
    }
    case Json::value_t::array: {
      out += '[';
      bool first = true;
      for (const auto& element : value) {
        if (!first) out += ',';
        first = false;
        Write(out, element);
      }
      out += ']';
      break;
    }
    case Json::value_t::string: WriteString(out, value.get_ref<const std::string&>()); break;
    case Json::value_t::boolean: out += value.get<bool>() ? "true" : "false"; break;
    case Json::value_t::number_integer: out += std::to_string(value.get<std::int64_t>()); break;
    case Json::value_t::number_unsigned: out += std::to_string(value.get<std::uint64_t>()); break;
    case Json::value_t::number_float: {
      const double d = value.get<double>();
      out += std::isfinite(d) ? ShortestDecimal(d) : "null";
      break;
    }
    default: out += "null"; break;
  }
}

std::int32_t Low32(std::uint64_t value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

// "-12" => -12 within 64 bits; nullopt for anything but an optional sign and
// at least one digit, or a value beyond 64 bits.
std::optional<std::int64_t> ParseDecimal(const std::string& text) {
  const char* first = text.data();
  const char* last = first + text.size();
  const bool plus = first != last && *first == '+';
  if (plus) ++first;
  if (first == last || (plus && *first == '-')) return std::nullopt;
  std::int64_t value = 0;
  const auto result = std::from_chars(first, last, value);
  if (result.ec != std::errc() || result.ptr != last) return std::nullopt;
  return value;
}

// The library's own builder, stopped at the limits. The parser keeps its
// place on a heap stack, so only building and reading need the bounds.
class BoundedBuilder : public nlohmann::detail::json_sax_dom_parser<Json> {
  using Base = nlohmann::detail::json_sax_dom_parser<Json>;

 public:
  explicit BoundedBuilder(Json& value) : Base(value, /*allow_exceptions=*/false) {}

  bool start_object(std::size_t size) { return Enter(true) && Base::start_object(size); }
  bool start_array(std::size_t size) { return Enter(false) && Base::start_array(size); }
  bool end_object() { return Leave() && Base::end_object(); }
  bool end_array() { return Leave() && Base::end_array(); }
  bool key(std::string& name) {
    if (members_.back() != kNotAnObject && ++members_.back() > kMaxJsonMembers) {
      return Refuse("an object has more than " + std::to_string(kMaxJsonMembers) + " members");
    }
    return Base::key(name);
  }

  const std::string& refusal() const { return refusal_; }

 private:
  static constexpr std::size_t kNotAnObject = static_cast<std::size_t>(-1);

  bool Enter(bool object) {
    if (members_.size() > kMaxJsonDepth) {
      return Refuse("the value is nested deeper than " + std::to_string(kMaxJsonDepth) + " levels");
    }
    members_.push_back(object ? 0 : kNotAnObject);
    return true;
  }
  bool Leave() {
    members_.pop_back();
    return true;
  }
  bool Refuse(std::string why) {
    refusal_ = std::move(why);
    return false;
  }

  std::vector<std::size_t> members_{kNotAnObject};  // per open level; the bottom one is the text itself
  std::string refusal_;
};

}  // namespace

std::optional<Json> ParseJson(std::string_view text) {
  Json value;
  BoundedBuilder builder(value);
  const bool parsed = Json::sax_parse(text.begin(), text.end(), &builder, Json::input_format_t::json,
                                      /*strict=*/true, /*ignore_comments=*/true);
  if (!builder.refusal().empty()) throw JsonLimitError(builder.refusal());
  if (!parsed) return std::nullopt;
  return value;
}

const Json* FindMember(const Json& object, std::string_view name) {
  if (!object.is_object()) return nullptr;
  const auto it = object.find(name);
  if (it == object.end() || it->is_null()) return nullptr;
  return &*it;
}

std::string ReadAsText(const Json& object, std::string_view name) {
  const Json* member = FindMember(object, name);
  if (member == nullptr) return {};
  switch (member->type()) {
    case Json::value_t::string: {
      const auto& text = member->get_ref<const std::string&>();
      return text == "null" ? std::string() : text;
    }
    case Json::value_t::number_float: return ShortestDecimal(member->get<double>());
    default: return WriteJson(*member);
  }
}

std::int32_t ReadAsInteger(const Json& object, std::string_view name) {
  const Json* member = FindMember(object, name);
  if (member == nullptr) return 0;
  switch (member->type()) {
    case Json::value_t::number_integer: return Low32(static_cast<std::uint64_t>(member->get<std::int64_t>()));
    case Json::value_t::number_unsigned: return Low32(member->get<std::uint64_t>());
    case Json::value_t::boolean: return member->get<bool>() ? 1 : 0;
    case Json::value_t::string: {
      const auto value = ParseDecimal(member->get_ref<const std::string&>());
      return value ? Low32(static_cast<std::uint64_t>(*value)) : 0;
    }
    case Json::value_t::number_float: {
      // nearbyint rounds in the default mode, to nearest with ties to even.
      const double rounded = std::nearbyint(member->get<double>());
      if (!(rounded >= -0x1p63 && rounded < 0x1p63)) return 0;
      return Low32(static_cast<std::uint64_t>(static_cast<std::int64_t>(rounded)));
    }
    default: return 0;
  }
}

std::string WriteJson(const Json& value) {
  std::string out;
  Write(out, value);
  return out;
}

}  // namespace orvek::net
