// The action interpreter: one block of action records at a time, on the timeline that owns it,
// with a bounded stack, checked jumps and an instruction budget.
#include "player/swf/byte_reader.h"
#include "player/swf/player_state.h"

#include <chrono>
#include <cmath>

namespace tarpon::swf {

namespace {

// Strings a script builds are cut here, so that a loop of concatenations cannot exhaust memory.
constexpr size_t max_string = 1u << 20;

bool starts_with_fscommand(std::string_view url) {
    constexpr std::string_view prefix = "fscommand:";
    if (url.size() < prefix.size())
        return false;
    return same_name(url.substr(0, prefix.size()), prefix, false);
}

size_t utf8_length(std::string_view s) {
    size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

// The byte offset of the character `index` (0-based) of a UTF-8 string, or its size.
size_t utf8_offset(std::string_view s, size_t index) {
    size_t n = 0;
    for (size_t i = 0; i < s.size(); ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (n == index)
                return i;
            ++n;
        }
    return s.size();
}

std::string utf8_char(uint32_t code) {
    std::string out;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
    return out;
}

int32_t to_int32(double n) {
    if (!std::isfinite(n))
        return 0;
    double wrapped = std::fmod(std::trunc(n), 4294967296.0);
    if (wrapped < 0)
        wrapped += 4294967296.0;
    return static_cast<int32_t>(static_cast<uint32_t>(wrapped));
}

} // namespace

size_t MoviePlayer::State::run_block(const std::shared_ptr<Timeline>& base, const ActionBlock& code) {
    if (!base || !base->owner)
        return 0;
    const int version = movie.version;
    std::shared_ptr<Timeline> current = base;
    std::vector<ActionValue> stack;
    std::vector<std::string> constants;
    bool overflow = false;
    size_t work = 0;

    auto pop = [&]() -> ActionValue {
        if (stack.empty())
            return {};
        ActionValue v = std::move(stack.back());
        stack.pop_back();
        return v;
    };
    auto push = [&](ActionValue v) {
        if (stack.size() >= max_stack) {
            overflow = true;
            return;
        }
        if (v.type == ActionValue::Type::String) {
            if (v.text.size() > max_string)
                v.text.resize(max_string);
            work += v.text.size() / 256;
        }
        stack.push_back(std::move(v));
    };
    auto push_bool = [&](bool b) {
        // Version 4 movies had no booleans: comparisons gave 1 and 0.
        push(version >= 5 ? ActionValue::of_bool(b) : ActionValue::of_number(b ? 1 : 0));
    };
    auto number = [&](const ActionValue& v) { return to_number(v, version); };
    auto text = [&](const ActionValue& v) { return to_string(v, version); };
    auto target = [&]() -> Instance* { return current->owner; };
    auto set_target = [&](std::string_view path) {
        Instance* found = path.empty() ? base->owner : resolve_target(base->owner, path);
        // An unknown target leaves actions on the block's own timeline.
        current = found && found->timeline ? found->timeline : base;
    };
    auto goto_label = [&](Timeline& timeline, std::string label) {
        for (char& c : label)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        auto it = timeline.def->labels.find(label);
        if (it == timeline.def->labels.end())
            return false;
        goto_frame(timeline, it->second);
        return true;
    };
    auto get_url = [&](const std::string& url, const std::string& window, bool load) {
        if (starts_with_fscommand(url)) {
            if (events.fscommand)
                events.fscommand(url.substr(10), window);
        } else if (!load && events.open_url) {
            events.open_url(url, window);
        }
    };
    // Skips `count` action records after `pc` (the waits for frames that are not loaded).
    auto skip_actions = [&](size_t pc, unsigned count) {
        for (unsigned i = 0; i < count && pc < code.size(); ++i) {
            uint8_t op = code[pc++];
            if (op >= 0x80) {
                if (pc + 2 > code.size())
                    return code.size();
                pc += 2 + (code[pc] | code[pc + 1] << 8);
            }
        }
        return std::min(pc, code.size());
    };

    size_t pc = 0;
    for (; pc < code.size() && work < action_budget && !overflow; ++work) {
        // The instance that ran this block, or the one it targets, went away under it.
        if (!base->owner || !current->owner)
            return work;
        uint8_t op = code[pc++];
        std::span<const uint8_t> payload;
        if (op >= 0x80) {
            if (pc + 2 > code.size())
                return work;
            size_t length = code[pc] | code[pc + 1] << 8;
            pc += 2;
            if (length > code.size() - pc)
                return work;
            payload = std::span<const uint8_t>(code).subspan(pc, length);
            pc += length;
        }
        ByteReader in(payload);
        Timeline& timeline = *current;
        switch (op) {
        case 0x00:
            return work;
        case 0x04:
            goto_frame(timeline, timeline.current + 1);
            break;
        case 0x05:
            goto_frame(timeline, timeline.current - 1);
            break;
        case 0x06:
            timeline.playing = true;
            break;
        case 0x07:
            timeline.playing = false;
            break;
        case 0x0A:
        case 0x0B:
        case 0x0C:
        case 0x0D:
        case 0x3F: {
            double b = number(pop()), a = number(pop());
            double r = op == 0x0A ? a + b : op == 0x0B ? a - b : op == 0x0C ? a * b : op == 0x0D ? a / b : std::fmod(a, b);
            push(ActionValue::of_number(r));
            break;
        }
        case 0x0E: {
            double b = number(pop()), a = number(pop());
            push_bool(a == b);
            break;
        }
        case 0x0F: {
            double b = number(pop()), a = number(pop());
            push_bool(a < b);
            break;
        }
        case 0x10:
        case 0x11: {
            bool b = to_bool(pop(), version), a = to_bool(pop(), version);
            push_bool(op == 0x10 ? a && b : a || b);
            break;
        }
        case 0x12:
            push_bool(!to_bool(pop(), version));
            break;
        case 0x13:
        case 0x29:
        case 0x68: {
            std::string b = text(pop()), a = text(pop());
            push_bool(op == 0x13 ? a == b : op == 0x29 ? a < b : a > b);
            break;
        }
        case 0x14:
        case 0x31: {
            std::string s = text(pop());
            push(ActionValue::of_number(static_cast<double>(version >= 6 || op == 0x31 ? utf8_length(s) : s.size())));
            break;
        }
        case 0x15:
        case 0x35: {
            double count = number(pop()), index = number(pop());
            std::string s = text(pop());
            bool chars = version >= 6 || op == 0x35;
            size_t length = chars ? utf8_length(s) : s.size();
            size_t first = std::isfinite(index) && index > 1 ? static_cast<size_t>(std::min(index, 1e15)) - 1 : 0;
            size_t n = std::isfinite(count) && count >= 0 ? static_cast<size_t>(std::min(count, 1e15)) : length;
            if (first >= length) {
                push(ActionValue::of_string(""));
                break;
            }
            n = std::min(n, length - first);
            size_t from = chars ? utf8_offset(s, first) : first;
            size_t to = chars ? utf8_offset(s, first + n) : first + n;
            push(ActionValue::of_string(s.substr(from, to - from)));
            break;
        }
        case 0x17:
            pop();
            break;
        case 0x18:
            push(ActionValue::of_number(std::trunc(number(pop()))));
            break;
        case 0x1C: {
            std::string name = text(pop());
            push(get_variable(target(), name));
            break;
        }
        case 0x1D: {
            ActionValue value = pop();
            std::string name = text(pop());
            set_variable(target(), name, value);
            break;
        }
        case 0x3C: {
            ActionValue value = pop();
            std::string name = text(pop());
            timeline.variables[name] = value;
            break;
        }
        case 0x41: {
            std::string name = text(pop());
            timeline.variables.try_emplace(name);
            break;
        }
        case 0x20:
            set_target(text(pop()));
            break;
        case 0x21: {
            std::string b = text(pop()), a = text(pop());
            push(ActionValue::of_string(a.size() + b.size() > max_string ? (a + b).substr(0, max_string) : a + b));
            break;
        }
        case 0x22: {
            int index = static_cast<int>(to_int32(number(pop())));
            std::string path = text(pop());
            Instance* instance = resolve_target(target(), path);
            std::optional<std::string> value = instance ? property(*instance, index) : std::nullopt;
            double n;
            if (!value)
                push({});
            else if (index != 11 && index != 13 && parse_number(*value, n))
                push(ActionValue::of_number(n));
            else
                push(ActionValue::of_string(*value));
            break;
        }
        case 0x23: {
            ActionValue value = pop();
            int index = static_cast<int>(to_int32(number(pop())));
            std::string path = text(pop());
            if (Instance* instance = resolve_target(target(), path))
                set_property(*instance, index, value);
            break;
        }
        case 0x24: // CloneSprite: depth, target, source
            pop();
            pop();
            pop();
            break;
        case 0x25: // RemoveSprite
        case 0x26: // Trace
            pop();
            break;
        case 0x27: { // StartDrag
            pop();
            pop();
            if (to_bool(pop(), version))
                for (int i = 0; i < 4; ++i)
                    pop();
            break;
        }
        case 0x30: {
            double limit = number(pop());
            int32_t n = to_int32(limit);
            uint32_t& seed = random_state;
            seed ^= seed << 13;
            seed ^= seed >> 17;
            seed ^= seed << 5;
            push(ActionValue::of_number(n > 0 ? seed % static_cast<uint32_t>(n) : 0));
            break;
        }
        case 0x32:
        case 0x36: {
            std::string s = text(pop());
            uint32_t code_point = s.empty() ? 0 : static_cast<unsigned char>(s[0]);
            if (op == 0x36 && code_point >= 0xC0 && s.size() >= 2)
                code_point = (code_point & 0x1F) << 6 | (static_cast<unsigned char>(s[1]) & 0x3F);
            push(ActionValue::of_number(code_point));
            break;
        }
        case 0x33:
        case 0x37: {
            uint32_t c = static_cast<uint32_t>(to_int32(number(pop()))) & 0xFFFF;
            push(ActionValue::of_string(version >= 6 || op == 0x37 ? utf8_char(c) : std::string(1, static_cast<char>(c))));
            break;
        }
        case 0x34: {
            using namespace std::chrono;
            auto elapsed = duration_cast<milliseconds>(steady_clock::now() - load_time).count();
            push(ActionValue::of_number(static_cast<double>(elapsed)));
            break;
        }
        case 0x3A:
            pop();
            pop();
            push_bool(false);
            break;
        case 0x3B:
            pop();
            push_bool(false);
            break;
        case 0x44: {
            ActionValue v = pop();
            const char* names[] = {"undefined", "null", "boolean", "number", "string"};
            push(ActionValue::of_string(names[static_cast<int>(v.type)]));
            break;
        }
        case 0x47: {
            ActionValue b = pop(), a = pop();
            if (a.type == ActionValue::Type::String || b.type == ActionValue::Type::String) {
                std::string sa = text(a), sb = text(b);
                push(ActionValue::of_string(sa.size() + sb.size() > max_string ? (sa + sb).substr(0, max_string) : sa + sb));
            } else {
                push(ActionValue::of_number(number(a) + number(b)));
            }
            break;
        }
        case 0x48:
        case 0x67: {
            ActionValue b = pop(), a = pop();
            if (op == 0x67)
                std::swap(a, b); // a > b is b < a
            if (a.type == ActionValue::Type::String && b.type == ActionValue::Type::String) {
                push_bool(a.text < b.text);
            } else {
                double x = number(a), y = number(b);
                if (std::isnan(x) || std::isnan(y))
                    push({});
                else
                    push_bool(x < y);
            }
            break;
        }
        case 0x49:
        case 0x66: {
            ActionValue b = pop(), a = pop();
            using T = ActionValue::Type;
            bool equal;
            if (a.type == b.type) {
                equal = a.type == T::Number    ? a.number == b.number
                        : a.type == T::String  ? a.text == b.text
                        : a.type == T::Boolean ? a.boolean == b.boolean
                                               : true;
            } else if (op == 0x66) {
                equal = false;
            } else {
                bool a_none = a.type == T::Undefined || a.type == T::Null;
                bool b_none = b.type == T::Undefined || b.type == T::Null;
                equal = a_none || b_none ? a_none && b_none : number(a) == number(b);
            }
            push_bool(equal);
            break;
        }
        case 0x4A:
            push(ActionValue::of_number(number(pop())));
            break;
        case 0x4B:
            push(ActionValue::of_string(text(pop())));
            break;
        case 0x4C:
            if (stack.empty())
                push({});
            else
                push(stack.back());
            break;
        case 0x4D: {
            ActionValue b = pop(), a = pop();
            push(std::move(b));
            push(std::move(a));
            break;
        }
        case 0x50:
        case 0x51:
            push(ActionValue::of_number(number(pop()) + (op == 0x50 ? 1 : -1)));
            break;
        case 0x60:
        case 0x61:
        case 0x62:
        case 0x63:
        case 0x64:
        case 0x65: {
            int32_t b = to_int32(number(pop())), a = to_int32(number(pop()));
            double r;
            switch (op) {
            case 0x60: r = a & b; break;
            case 0x61: r = a | b; break;
            case 0x62: r = a ^ b; break;
            case 0x63: r = static_cast<int32_t>(static_cast<uint32_t>(a) << (b & 31)); break;
            case 0x64: r = a >> (b & 31); break;
            default: r = static_cast<uint32_t>(a) >> (b & 31); break;
            }
            push(ActionValue::of_number(r));
            break;
        }
        case 0x81:
            goto_frame(timeline, in.u16());
            break;
        case 0x83: {
            std::string url = in.string();
            std::string window = in.string();
            get_url(url, window, false);
            break;
        }
        case 0x87: {
            uint8_t reg = in.u8();
            if (reg < 4 && !stack.empty())
                registers[reg] = stack.back();
            break;
        }
        case 0x88: {
            constants.clear();
            uint16_t count = in.u16();
            for (uint16_t i = 0; i < count && !in.failed(); ++i) {
                std::string s = in.string();
                if (!in.failed())
                    constants.push_back(std::move(s));
            }
            break;
        }
        case 0x8A: {
            uint16_t frame = in.u16();
            uint8_t skip = in.u8();
            if (frame >= timeline.frames())
                pc = skip_actions(pc, skip);
            break;
        }
        case 0x8D: {
            uint8_t skip = in.u8();
            double frame = number(pop());
            if (!(frame >= 1 && frame <= timeline.frames()))
                pc = skip_actions(pc, skip);
            break;
        }
        case 0x8B:
            set_target(in.string());
            break;
        case 0x8C:
            goto_label(timeline, in.string());
            break;
        case 0x96:
            while (!in.at_end() && !overflow) {
                uint8_t type = in.u8();
                ActionValue v;
                switch (type) {
                case 0: v = ActionValue::of_string(in.string()); break;
                case 1: v = ActionValue::of_number(in.f32()); break;
                case 2: v = ActionValue::null(); break;
                case 3: break;
                case 4: {
                    uint8_t reg = in.u8();
                    if (reg < 4)
                        v = registers[reg];
                    break;
                }
                case 5: v = ActionValue::of_bool(in.u8() != 0); break;
                case 6: v = ActionValue::of_number(in.f64_swapped()); break;
                case 7: v = ActionValue::of_number(in.s32()); break;
                case 8:
                case 9: {
                    size_t index = type == 8 ? in.u8() : in.u16();
                    if (index < constants.size())
                        v = ActionValue::of_string(constants[index]);
                    break;
                }
                default:
                    in.fail();
                    break;
                }
                if (in.failed())
                    break;
                push(std::move(v));
            }
            break;
        case 0x99:
        case 0x9D: {
            int16_t offset = in.s16();
            if (in.failed())
                return work;
            if (op == 0x9D && !to_bool(pop(), version))
                break;
            // The offset counts from the next action and must land inside the block.
            int64_t destination = static_cast<int64_t>(pc) + offset;
            if (destination < 0 || destination > static_cast<int64_t>(code.size()))
                return work;
            pc = static_cast<size_t>(destination);
            break;
        }
        case 0x9A: {
            uint8_t flags = in.u8();
            std::string window = text(pop());
            std::string url = text(pop());
            get_url(url, window, (flags & 0xC0) != 0);
            break;
        }
        case 0x9E: // Call
            pop();
            break;
        case 0x9F: {
            uint8_t flags = in.u8();
            int bias = (flags & 0x02) ? in.u16() : 0;
            ActionValue frame = pop();
            Timeline* destination = &timeline;
            bool found = true;
            if (frame.type == ActionValue::Type::String) {
                // "label", "12" or "path:label".
                std::string where = frame.text;
                size_t colon = where.rfind(':');
                if (colon != std::string::npos) {
                    Instance* other = resolve_target(target(), std::string_view(where).substr(0, colon));
                    destination = other && other->timeline ? other->timeline.get() : nullptr;
                    where = where.substr(colon + 1);
                }
                double n;
                if (!destination)
                    found = false;
                else if (parse_number(where, n) && std::isfinite(n))
                    goto_frame(*destination, static_cast<int>(std::clamp(n, 1.0, 1e6)) - 1 + bias);
                else
                    found = goto_label(*destination, where);
            } else {
                double n = number(frame);
                if (std::isfinite(n))
                    goto_frame(timeline, static_cast<int>(std::clamp(n, 1.0, 1e6)) - 1 + bias);
            }
            if (found && destination)
                destination->playing = (flags & 0x01) != 0;
            break;
        }
        default:
            break; // actions of later versions are passed over
        }
    }
    return work;
}

void MoviePlayer::State::run_queue() {
    // Actions may queue more (a goto queues the frame's actions); what is left after the bound
    // waits for the next run, so a movie that keeps jumping cannot hold the caller.
    size_t work = 0;
    for (size_t blocks = 0; blocks < max_blocks_per_run && work < run_budget && !queue.empty(); ++blocks) {
        QueuedActions next = queue.front();
        queue.pop_front();
        if (auto timeline = next.target.lock())
            work += run_block(timeline, *next.code);
    }
}

} // namespace tarpon::swf
