// Timelines: placing, moving and removing instances as frames are entered, going to a frame in
// either direction, and the advance of every playing timeline on a frame tick.
#include "player/swf/player_state.h"

#include <functional>

namespace tarpon::swf {

bool NameLess::operator()(const std::string& l, const std::string& r) const {
    if (case_sensitive)
        return l < r;
    size_t n = std::min(l.size(), r.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char a = static_cast<unsigned char>(l[i]), b = static_cast<unsigned char>(r[i]);
        if (a >= 'A' && a <= 'Z')
            a = static_cast<unsigned char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z')
            b = static_cast<unsigned char>(b - 'A' + 'a');
        if (a != b)
            return a < b;
    }
    return l.size() < r.size();
}

bool same_name(std::string_view l, std::string_view r, bool case_sensitive) {
    if (l.size() != r.size())
        return false;
    NameLess less{case_sensitive};
    std::string a(l), b(r);
    return !less(a, b) && !less(b, a);
}

std::unique_ptr<Instance> MoviePlayer::State::create_instance(uint16_t id, Instance* parent) {
    const Character* character = movie.character(id);
    if (!character || live_instances >= max_instances)
        return nullptr;
    int nesting = parent ? parent->nesting + 1 : 0;
    if (nesting > max_nesting)
        return nullptr;
    auto instance = std::make_unique<Instance>();
    instance->character = character;
    instance->id = id;
    instance->parent = parent;
    instance->nesting = nesting;
    instance->serial = next_serial++;
    instance->live_count = &live_instances;
    ++live_instances;
    // Unnamed instances get a name of their own, so that each has a target path.
    instance->name = "instance" + std::to_string(instance->serial);
    if (character->kind == Character::Kind::Sprite && !character->sprite.frames.empty()) {
        instance->timeline = std::make_shared<Timeline>();
        instance->timeline->def = &character->sprite;
        instance->timeline->owner = instance.get();
        instance->timeline->variables = decltype(Timeline::variables)(NameLess{case_sensitive()});
        enter_frame(*instance->timeline, 0);
    }
    return instance;
}

namespace {

void apply_fields(Instance& instance, const PlaceCommand& command) {
    if (command.has_matrix && !instance.scripted)
        instance.matrix = command.matrix;
    if (command.has_color)
        instance.color = command.color;
    if (command.has_ratio)
        instance.ratio = command.ratio;
    if (command.has_name)
        instance.name = command.name;
    if (command.has_clip_depth)
        instance.clip_depth = command.clip_depth;
}

} // namespace

// Applies the control tags of `frame` to the display list and makes it the current frame.
void MoviePlayer::State::enter_frame(Timeline& timeline, int frame) {
    timeline.current = frame;
    Instance* owner = timeline.owner;
    for (const PlaceCommand& command : timeline.def->frames[frame].commands) {
        auto it = timeline.display.find(command.depth);
        if (command.kind == PlaceCommand::Kind::Remove) {
            if (it != timeline.display.end())
                timeline.display.erase(it);
            continue;
        }
        bool exists = it != timeline.display.end();
        if (command.move && exists) {
            Instance& instance = *it->second;
            if (command.has_character && command.character != instance.id) {
                // Another character at the same depth keeps the instance's placement.
                auto replacement = create_instance(command.character, owner);
                if (replacement) {
                    replacement->depth = command.depth;
                    replacement->matrix = instance.matrix;
                    replacement->color = instance.color;
                    replacement->name = instance.name;
                    replacement->clip_depth = instance.clip_depth;
                    it->second = std::move(replacement);
                }
            }
            apply_fields(*it->second, command);
            continue;
        }
        if (!command.has_character)
            continue;
        auto instance = create_instance(command.character, owner);
        if (!instance) {
            if (exists)
                timeline.display.erase(it);
            continue;
        }
        instance->depth = command.depth;
        apply_fields(*instance, command);
        timeline.display[command.depth] = std::move(instance);
    }
    queue_frame_actions(timeline);
}

void MoviePlayer::State::queue_frame_actions(Timeline& timeline) {
    const Frame& frame = timeline.def->frames[timeline.current];
    if (frame.actions.empty() || !timeline.owner)
        return;
    for (const ActionBlock& block : frame.actions)
        queue.push_back({timeline.owner->timeline, &block});
}

bool MoviePlayer::State::call_frame(const std::shared_ptr<Timeline>& timeline, int frame) {
    if (!timeline->owner || frame < 0 || frame >= timeline->frames())
        return false;
    size_t work = 0;
    for (const ActionBlock& block : timeline->def->frames[frame].actions) {
        // The frame's actions may unload the very timeline; what is left of it runs no further.
        if (!timeline->owner || work >= run_budget)
            break;
        work += run_block(timeline, block);
    }
    return true;
}

void MoviePlayer::State::goto_frame(Timeline& timeline, int frame) {
    // A timeline whose instance is gone (a script still holds it) no longer plays.
    if (!timeline.owner)
        return;
    frame = std::clamp(frame, 0, timeline.frames() - 1);
    if (frame == timeline.current)
        return;
    if (frame > timeline.current) {
        // Forward: the frames in between are applied without their actions.
        for (int f = timeline.current + 1; f < frame; ++f) {
            size_t queued = queue.size();
            enter_frame(timeline, f);
            // Only the target frame's own actions run; sprites placed on the way keep theirs.
            const Frame& skipped = timeline.def->frames[f];
            for (size_t i = 0; i < skipped.actions.size() && queue.size() > queued; ++i)
                queue.pop_back();
        }
        enter_frame(timeline, frame);
        return;
    }
    // Backward: work out what frames 0..frame place, then keep the instances that are still the
    // same character at the same depth, so sprites there go on playing.
    struct Placement {
        uint16_t character = 0;
        PlaceCommand fields;
    };
    std::map<int, Placement> target;
    for (int f = 0; f <= frame; ++f) {
        for (const PlaceCommand& command : timeline.def->frames[f].commands) {
            if (command.kind == PlaceCommand::Kind::Remove) {
                target.erase(command.depth);
                continue;
            }
            auto it = target.find(command.depth);
            if (command.move && it != target.end()) {
                Placement& p = it->second;
                if (command.has_character)
                    p.character = command.character;
                PlaceCommand& fields = p.fields;
                if (command.has_matrix) {
                    fields.has_matrix = true;
                    fields.matrix = command.matrix;
                }
                if (command.has_color) {
                    fields.has_color = true;
                    fields.color = command.color;
                }
                if (command.has_ratio) {
                    fields.has_ratio = true;
                    fields.ratio = command.ratio;
                }
                if (command.has_name) {
                    fields.has_name = true;
                    fields.name = command.name;
                }
                if (command.has_clip_depth) {
                    fields.has_clip_depth = true;
                    fields.clip_depth = command.clip_depth;
                }
                continue;
            }
            if (!command.has_character)
                continue;
            Placement p;
            p.character = command.character;
            p.fields = command;
            p.fields.has_matrix = true; // a new placement without a matrix stands at the origin
            target[command.depth] = std::move(p);
        }
    }
    for (auto it = timeline.display.begin(); it != timeline.display.end();) {
        auto wanted = target.find(it->first);
        if (wanted == target.end() || wanted->second.character != it->second->id)
            it = timeline.display.erase(it);
        else
            ++it;
    }
    for (auto& [depth, placement] : target) {
        auto it = timeline.display.find(depth);
        if (it != timeline.display.end()) {
            Instance& instance = *it->second;
            instance.matrix = Matrix{};
            instance.color = ColorTransform{};
            apply_fields(instance, placement.fields);
            continue;
        }
        auto instance = create_instance(placement.character, timeline.owner);
        if (!instance)
            continue;
        instance->depth = depth;
        apply_fields(*instance, placement.fields);
        timeline.display[depth] = std::move(instance);
    }
    timeline.current = frame;
    queue_frame_actions(timeline);
}

void MoviePlayer::State::advance_all() {
    if (!root)
        return;
    // Timelines that exist before the tick advance once; those placed during it start next time.
    std::vector<std::weak_ptr<Timeline>> timelines;
    std::function<void(Instance&)> collect = [&](Instance& instance) {
        if (!instance.timeline)
            return;
        timelines.push_back(instance.timeline);
        for (auto& [depth, child] : instance.timeline->display)
            collect(*child);
    };
    collect(*root);
    for (auto& weak : timelines) {
        auto timeline = weak.lock();
        if (!timeline || !timeline->playing)
            continue;
        bool is_root = timeline == root->timeline;
        if (timeline->current + 1 < timeline->frames())
            goto_frame(*timeline, timeline->current + 1);
        else if (is_root && !loop)
            timeline->playing = false;
        else if (timeline->frames() > 1)
            goto_frame(*timeline, 0);
    }
}

} // namespace tarpon::swf
