// The player's public face: loading and unloading, the root timeline's controls, ticks, input and
// the target-path calls of the control.
#include "player/swf/movie_player.h"

#include "player/swf/player_state.h"

#include <cmath>
#include <optional>

namespace tarpon::swf {

MoviePlayer::MoviePlayer(Events events) : m_state(std::make_unique<State>()) {
    m_state->events = std::move(events);
}

MoviePlayer::~MoviePlayer() = default;

bool MoviePlayer::load(std::span<const uint8_t> file) {
    unload();
    State& s = *m_state;
    if (!read_movie(file, s.movie, s.error))
        return false;
    s.error.clear();
    s.loaded = true;
    s.load_time = std::chrono::steady_clock::now();
    s.root = std::make_unique<Instance>();
    s.root->serial = s.next_serial++;
    s.root->timeline = std::make_shared<Timeline>();
    s.root->timeline->def = &s.movie.root;
    s.root->timeline->owner = s.root.get();
    s.root->timeline->variables = decltype(Timeline::variables)(NameLess{s.case_sensitive()});
    // Frame 0 is shown now; its actions wait for the first run_actions.
    s.enter_frame(*s.root->timeline, 0);
    return true;
}

void MoviePlayer::unload() {
    State& s = *m_state;
    s.queue.clear();
    s.root.reset();
    s.movie = MovieData{};
    s.loaded = false;
    s.error.clear();
    s.hover = s.pressed = 0;
    for (auto& r : s.registers)
        r = ActionValue{};
}

bool MoviePlayer::loaded() const { return m_state->loaded; }
const std::string& MoviePlayer::error() const { return m_state->error; }
int MoviePlayer::version() const { return m_state->movie.version; }
Rect MoviePlayer::frame_rect() const { return m_state->movie.frame_rect; }
double MoviePlayer::frame_rate() const { return m_state->movie.frame_rate; }
int MoviePlayer::frame_count() const { return m_state->movie.frame_count; }
int MoviePlayer::frames_loaded() const {
    return m_state->loaded ? static_cast<int>(m_state->movie.root.frames.size()) : 0;
}
uint32_t MoviePlayer::background() const { return m_state->movie.background; }
bool MoviePlayer::has_background() const { return m_state->movie.has_background; }

int MoviePlayer::current_frame() const { return m_state->root ? m_state->root->timeline->current : 0; }
bool MoviePlayer::playing() const { return m_state->root && m_state->root->timeline->playing; }
void MoviePlayer::set_playing(bool playing) {
    if (m_state->root)
        m_state->root->timeline->playing = playing;
}
bool MoviePlayer::loop() const { return m_state->loop; }
void MoviePlayer::set_loop(bool loop) { m_state->loop = loop; }

void MoviePlayer::goto_frame(int frame) {
    if (m_state->root)
        m_state->goto_frame(*m_state->root->timeline, frame);
}

bool MoviePlayer::goto_label(std::string_view label) { return target_goto_label("/", label); }
void MoviePlayer::next_frame() { goto_frame(current_frame() + 1); }
void MoviePlayer::previous_frame() { goto_frame(current_frame() - 1); }
void MoviePlayer::rewind() { goto_frame(0); }

void MoviePlayer::tick() {
    m_state->advance_all();
    run_actions();
}

void MoviePlayer::run_actions() { m_state->run_queue(); }

void MoviePlayer::render(const Canvas& canvas, const Matrix& view, int32_t background_override) const {
    uint32_t background = background_override >= 0 ? static_cast<uint32_t>(background_override) & 0xFFFFFF
                                                   : m_state->movie.background;
    m_state->render(canvas, view, background);
}

namespace {

void fire(MoviePlayer::State& s, Instance* button, uint16_t condition) {
    if (!button || !button->character || button->character->kind != Character::Kind::Button || !button->parent ||
        !button->parent->timeline)
        return;
    for (const ButtonAction& action : button->character->button.actions)
        if (action.conditions & condition)
            s.queue.push_back({button->parent->timeline, &action.code});
}

} // namespace

bool MoviePlayer::pointer_move(double x, double y, const Matrix& view) {
    State& s = *m_state;
    s.pointer_x = x;
    s.pointer_y = y;
    s.view = view;
    Instance* over = s.root && std::isfinite(x) && std::isfinite(y) ? s.button_at(x, y, view) : nullptr;
    uint64_t serial = over ? over->serial : 0;
    if (serial != s.hover) {
        if (Instance* old = s.find_serial(s.root.get(), s.hover)) {
            old->button_state = ButtonRecord::Up;
            fire(s, old, s.pressed == s.hover ? ButtonAction::OverDownToOutDown : ButtonAction::OverUpToIdle);
        }
        if (over) {
            bool down = s.pressed == serial;
            over->button_state = down ? ButtonRecord::Down : ButtonRecord::Over;
            fire(s, over, down ? ButtonAction::OutDownToOverDown : ButtonAction::IdleToOverUp);
        }
        s.hover = serial;
    }
    return over != nullptr;
}

void MoviePlayer::pointer_down() {
    State& s = *m_state;
    Instance* over = s.find_serial(s.root.get(), s.hover);
    if (!over)
        return;
    s.pressed = s.hover;
    over->button_state = ButtonRecord::Down;
    fire(s, over, ButtonAction::OverUpToOverDown);
}

void MoviePlayer::pointer_up() {
    State& s = *m_state;
    if (!s.pressed)
        return;
    Instance* pressed = s.find_serial(s.root.get(), s.pressed);
    if (pressed) {
        if (s.pressed == s.hover) {
            pressed->button_state = ButtonRecord::Over;
            fire(s, pressed, ButtonAction::OverDownToOverUp);
        } else {
            pressed->button_state = ButtonRecord::Up;
            fire(s, pressed, ButtonAction::OutDownToIdle);
        }
    }
    s.pressed = 0;
}

void MoviePlayer::set_variable(std::string_view name, std::string_view value) {
    if (m_state->root)
        m_state->set_variable(m_state->root.get(), name, ActionValue::of_string(std::string(value)));
}

std::string MoviePlayer::get_variable(std::string_view name) const {
    if (!m_state->root)
        return {};
    ActionValue v = m_state->get_variable(m_state->root.get(), name);
    // An unset variable reads as empty, whatever the movie's version.
    if (v.type == ActionValue::Type::Undefined)
        return {};
    return to_string(v, m_state->movie.version);
}

namespace {

Timeline* target_timeline(const MoviePlayer::State& s, std::string_view target) {
    if (!s.root)
        return nullptr;
    Instance* instance = s.resolve_target(s.root.get(), target == "/" ? std::string_view() : target);
    return instance && instance->timeline ? instance->timeline.get() : nullptr;
}

// The frame a timeline's label names, in any letter case.
std::optional<int> labelled_frame(const Timeline& timeline, std::string_view label) {
    std::string key(label);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    auto it = timeline.def->labels.find(key);
    if (it == timeline.def->labels.end())
        return std::nullopt;
    return it->second;
}

} // namespace

bool MoviePlayer::target_goto_frame(std::string_view target, int frame) {
    Timeline* timeline = target_timeline(*m_state, target);
    if (!timeline)
        return false;
    m_state->goto_frame(*timeline, frame);
    return true;
}

bool MoviePlayer::target_goto_label(std::string_view target, std::string_view label) {
    Timeline* timeline = target_timeline(*m_state, target);
    if (!timeline)
        return false;
    const std::optional<int> frame = labelled_frame(*timeline, label);
    if (!frame)
        return false;
    m_state->goto_frame(*timeline, *frame);
    return true;
}

int MoviePlayer::target_current_frame(std::string_view target) const {
    Timeline* timeline = target_timeline(*m_state, target);
    return timeline ? timeline->current : -1;
}

std::string MoviePlayer::target_current_label(std::string_view target) const {
    Timeline* timeline = target_timeline(*m_state, target);
    if (!timeline)
        return {};
    // The label of the current frame, or of the nearest labelled frame before it.
    for (int f = timeline->current; f >= 0; --f)
        if (!timeline->def->frames[f].label.empty())
            return timeline->def->frames[f].label;
    return {};
}

bool MoviePlayer::target_play(std::string_view target) {
    Timeline* timeline = target_timeline(*m_state, target);
    if (timeline)
        timeline->playing = true;
    return timeline != nullptr;
}

bool MoviePlayer::target_stop(std::string_view target) {
    Timeline* timeline = target_timeline(*m_state, target);
    if (timeline)
        timeline->playing = false;
    return timeline != nullptr;
}

bool MoviePlayer::target_call_frame(std::string_view target, int frame) {
    State& s = *m_state;
    Timeline* timeline = target_timeline(s, target);
    if (!timeline || !timeline->owner)
        return false;
    // Held while the actions run: they may remove the instance that owns it.
    std::shared_ptr<Timeline> held = timeline->owner->timeline;
    return s.call_frame(held, frame);
}

bool MoviePlayer::target_call_label(std::string_view target, std::string_view label) {
    Timeline* timeline = target_timeline(*m_state, target);
    if (!timeline)
        return false;
    const std::optional<int> frame = labelled_frame(*timeline, label);
    return frame && target_call_frame(target, *frame);
}

void MoviePlayer::set_url(std::string url) { m_state->url = std::move(url); }

bool MoviePlayer::set_property(std::string_view target, int property, std::string_view value) {
    State& s = *m_state;
    if (!s.root)
        return false;
    Instance* instance = s.resolve_target(s.root.get(), target == "/" ? std::string_view() : target);
    if (!instance)
        return false;
    // From outside, "0" for _visible means hidden whatever the movie's version makes of strings.
    double number = 0;
    ActionValue v = property != 13 && parse_number(value, number) ? ActionValue::of_number(number)
                                                                  : ActionValue::of_string(std::string(value));
    return s.set_property(*instance, property, v);
}

std::optional<std::string> MoviePlayer::get_property(std::string_view target, int property) const {
    State& s = *m_state;
    if (!s.root)
        return std::nullopt;
    Instance* instance = s.resolve_target(s.root.get(), target == "/" ? std::string_view() : target);
    if (!instance)
        return std::nullopt;
    return s.property(*instance, property);
}

} // namespace tarpon::swf
