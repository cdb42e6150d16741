// Target paths ("/a/b", "_root.a.b", "../c"), variables addressed through them, and the numbered
// properties of instances.
#include "player/swf/player_state.h"

#include <cmath>
#include <numbers>

namespace tarpon::swf {

namespace {

std::vector<std::string_view> split_path(std::string_view path) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/' || path[i] == '.') {
            // ".." is one part, not two separators.
            if (i < path.size() && path[i] == '.' && i + 1 < path.size() && path[i + 1] == '.' && start == i) {
                parts.push_back(path.substr(i, 2));
                i += 1;
                start = i + 1;
                continue;
            }
            if (i > start)
                parts.push_back(path.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

double scale_x(const Matrix& m) { return std::sqrt(m.a * m.a + m.b * m.b); }
double scale_y(const Matrix& m) { return std::sqrt(m.c * m.c + m.d * m.d); }

} // namespace

Instance* MoviePlayer::State::resolve_target(Instance* from, std::string_view path) const {
    if (!root)
        return nullptr;
    Instance* current = from ? from : root.get();
    if (path.empty())
        return current;
    if (path.front() == '/')
        current = root.get();
    for (std::string_view part : split_path(path)) {
        if (same_name(part, "_root", false) || same_name(part, "_level0", false)) {
            current = root.get();
        } else if (part == ".." || same_name(part, "_parent", false)) {
            if (!current->parent)
                return nullptr;
            current = current->parent;
        } else if (same_name(part, "this", false)) {
            continue;
        } else {
            if (!current->timeline)
                return nullptr;
            Instance* found = nullptr;
            for (auto& [depth, child] : current->timeline->display)
                if (!child->name.empty() && same_name(child->name, part, case_sensitive())) {
                    found = child.get();
                    break;
                }
            if (!found)
                return nullptr;
            current = found;
        }
    }
    return current;
}

Instance* MoviePlayer::State::find_serial(Instance* from, uint64_t serial) const {
    if (!from || serial == 0)
        return nullptr;
    if (from->serial == serial)
        return from;
    if (from->timeline)
        for (auto& [depth, child] : from->timeline->display)
            if (Instance* found = find_serial(child.get(), serial))
                return found;
    return nullptr;
}

std::string MoviePlayer::State::target_path(const Instance* instance) const {
    if (!instance || !instance->parent)
        return "/";
    std::string path;
    for (const Instance* i = instance; i && i->parent; i = i->parent)
        path = "/" + i->name + path;
    return path;
}

std::optional<std::string> MoviePlayer::State::property(Instance& instance, int index) const {
    const Matrix& m = instance.matrix;
    switch (index) {
    case 0:
        return number_text(m.tx / 20.0);
    case 1:
        return number_text(m.ty / 20.0);
    case 2:
        return number_text(scale_x(m) * 100);
    case 3:
        return number_text(scale_y(m) * 100);
    case 4:
        return number_text(instance.timeline ? instance.timeline->current + 1 : 1);
    case 5:
        return number_text(instance.timeline ? instance.timeline->frames() : 1);
    case 6:
        return number_text(instance.color.mul[3] * 100);
    case 7:
        return instance.visible ? "1" : "0";
    case 8:
    case 9: {
        Rect r;
        if (!bounds(instance, r))
            return "0";
        return number_text((index == 8 ? r.x_max - r.x_min : r.y_max - r.y_min) / 20.0);
    }
    case 10:
        return number_text(std::atan2(m.b, m.a) * 180 / std::numbers::pi);
    case 11:
        return target_path(&instance);
    case 12:
        return number_text(instance.timeline ? instance.timeline->frames() : 1);
    case 13:
        return instance.name;
    case 14:
        return std::string(); // nothing is dropped on anything: drags end where they are
    case 15:
        return url;
    default:
        return std::nullopt;
    }
}

bool MoviePlayer::State::set_property(Instance& instance, int index, const ActionValue& value) {
    double n = to_number(value, movie.version);
    Matrix& m = instance.matrix;
    if (index != 7 && index != 13 && !std::isfinite(n))
        return false;
    auto rescale = [&m](double sx, double sy) {
        double old_x = scale_x(m), old_y = scale_y(m);
        double rotation = std::atan2(m.b, m.a);
        double skew = std::atan2(-m.c, m.d);
        if (sx < 0)
            sx = old_x;
        if (sy < 0)
            sy = old_y;
        m.a = sx * std::cos(rotation);
        m.b = sx * std::sin(rotation);
        m.c = -sy * std::sin(skew);
        m.d = sy * std::cos(skew);
    };
    switch (index) {
    case 0:
        m.tx = n * 20;
        break;
    case 1:
        m.ty = n * 20;
        break;
    case 2:
        rescale(std::abs(n) / 100, -1);
        break;
    case 3:
        rescale(-1, std::abs(n) / 100);
        break;
    case 6:
        instance.color.mul[3] = n / 100;
        return true;
    case 7:
        instance.visible = to_bool(value, movie.version);
        return true;
    case 8:
    case 9: {
        Rect r;
        if (!bounds(instance, r))
            return false;
        double size = index == 8 ? r.x_max - r.x_min : r.y_max - r.y_min;
        if (size <= 0)
            return false;
        double factor = std::abs(n) * 20 / size;
        if (index == 8)
            rescale(scale_x(m) * factor, -1);
        else
            rescale(-1, scale_y(m) * factor);
        break;
    }
    case 10: {
        double sx = scale_x(m), sy = scale_y(m);
        double angle = n * std::numbers::pi / 180;
        m.a = sx * std::cos(angle);
        m.b = sx * std::sin(angle);
        m.c = -sy * std::sin(angle);
        m.d = sy * std::cos(angle);
        break;
    }
    case 13:
        if (!instance.parent)
            return false;
        instance.name = to_string(value, movie.version);
        return true;
    default:
        return false; // read-only or not modelled
    }
    instance.scripted = true;
    return true;
}

Instance* MoviePlayer::State::variable_owner(Instance* from, std::string_view path, std::string& name) const {
    size_t colon = path.rfind(':');
    if (colon != std::string_view::npos) {
        name = std::string(path.substr(colon + 1));
        return resolve_target(from, path.substr(0, colon));
    }
    size_t dot = path.rfind('.');
    if (dot != std::string_view::npos && dot > 0) {
        name = std::string(path.substr(dot + 1));
        return resolve_target(from, path.substr(0, dot));
    }
    name = std::string(path);
    return from ? from : root.get();
}

ActionValue MoviePlayer::State::get_variable(Instance* from, std::string_view path) const {
    std::string name;
    Instance* owner = variable_owner(from, path, name);
    if (!owner)
        return {};
    if (!owner->timeline)
        return {};
    auto it = owner->timeline->variables.find(name);
    if (it != owner->timeline->variables.end())
        return it->second;
    // A bare name of a child instance reads as its target path.
    if (path.find_first_of(":./") == std::string_view::npos)
        if (Instance* child = resolve_target(owner, name); child && child != owner)
            return ActionValue::of_string(target_path(child));
    return {};
}

void MoviePlayer::State::set_variable(Instance* from, std::string_view path, const ActionValue& value) {
    std::string name;
    Instance* owner = variable_owner(from, path, name);
    if (!owner || !owner->timeline || name.empty())
        return;
    owner->timeline->variables[name] = value;
}

} // namespace tarpon::swf
