// The movie header and the tag stream: definitions go into the dictionary, control tags into the
// frames of the root timeline or of a sprite.
#include "player/swf/tag_readers.h"

#include <algorithm>

namespace tarpon::swf {

namespace {

enum TagCode : uint16_t {
    TagEnd = 0,
    TagShowFrame = 1,
    TagDefineShape = 2,
    TagPlaceObject = 4,
    TagRemoveObject = 5,
    TagDefineButton = 7,
    TagSetBackgroundColor = 9,
    TagDoAction = 12,
    TagDefineBitsLossless = 20,
    TagDefineShape2 = 22,
    TagPlaceObject2 = 26,
    TagRemoveObject2 = 28,
    TagDefineShape3 = 32,
    TagDefineButton2 = 34,
    TagDefineBitsLossless2 = 36,
    TagDefineSprite = 39,
    TagFrameLabel = 43,
};

std::string lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

PlaceCommand read_place_object(ByteReader& in) {
    PlaceCommand command;
    command.has_character = true;
    command.character = in.u16();
    command.depth = in.u16();
    command.has_matrix = true;
    command.matrix = read_matrix(in);
    if (!in.at_end()) {
        command.has_color = true;
        command.color = read_color_transform(in, false);
    }
    return command;
}

PlaceCommand read_place_object2(ByteReader& in) {
    PlaceCommand command;
    uint8_t flags = in.u8();
    command.depth = in.u16();
    command.move = flags & 0x01;
    if ((command.has_character = flags & 0x02))
        command.character = in.u16();
    if ((command.has_matrix = flags & 0x04))
        command.matrix = read_matrix(in);
    if ((command.has_color = flags & 0x08))
        command.color = read_color_transform(in, true);
    if ((command.has_ratio = flags & 0x10))
        command.ratio = in.u16();
    if ((command.has_name = flags & 0x20))
        command.name = in.string();
    if ((command.has_clip_depth = flags & 0x40))
        command.clip_depth = in.u16();
    // Clip actions (flag 0x80) follow; they belong to later players and are not read.
    return command;
}

// The action records of a block up to and including the end byte, or the rest of the data.
ActionBlock action_bytes(std::span<const uint8_t> data) { return ActionBlock(data.begin(), data.end()); }

bool read_button_records(ByteReader& in, bool with_color, Button& button) {
    while (!in.failed()) {
        uint8_t flags = in.u8();
        if (flags == 0)
            return !in.failed();
        ButtonRecord record;
        record.states = flags & 0x0F;
        record.character = in.u16();
        record.depth = in.u16();
        record.matrix = read_matrix(in);
        if (with_color) {
            record.color = read_color_transform(in, true);
            if (flags & 0x10)
                return false; // filter lists are not read: the records after them would be garbage
            if (flags & 0x20)
                in.u8(); // blend mode
        }
        if (in.failed())
            return false;
        button.records.push_back(record);
    }
    return false;
}

void read_button2(ByteReader& in, std::span<const uint8_t> body, Button& button) {
    in.u8(); // track as menu
    size_t offset_field = in.position();
    uint16_t action_offset = in.u16();
    if (!read_button_records(in, true, button) || action_offset == 0)
        return;
    size_t position = offset_field + action_offset;
    while (position + 4 <= body.size()) {
        ByteReader record(body);
        record.seek(position);
        uint16_t size = record.u16();
        uint8_t low = record.u8();
        uint8_t high = record.u8();
        size_t start = position + 4;
        size_t end = size == 0 ? body.size() : position + size;
        if (size != 0 && (size < 4 || end > body.size()))
            return;
        ButtonAction action;
        action.conditions = static_cast<uint16_t>(low | (high & 1) << 8);
        action.code = action_bytes(body.subspan(start, end - start));
        button.actions.push_back(std::move(action));
        if (size == 0)
            return;
        position = end;
    }
}

class TagLoop {
public:
    TagLoop(MovieData& movie) : m_movie(movie) {}

    // Reads tags until End or the end of the data into `timeline`. Definitions are only taken on
    // the root timeline; a sprite holds control tags.
    void read(ByteReader& in, TimelineDef& timeline, bool in_sprite) {
        Frame pending;
        while (!in.at_end() && timeline.frames.size() < max_frames) {
            uint16_t head = in.u16();
            uint16_t code = head >> 6;
            size_t length = head & 0x3F;
            if (length == 0x3F)
                length = in.u32();
            if (in.failed() || length > in.remaining())
                break; // a tag that breaks off ends the stream
            auto body = in.bytes(length);
            if (code == TagEnd)
                break;
            ByteReader tag(body);
            switch (code) {
            case TagShowFrame:
                timeline.frames.push_back(std::move(pending));
                pending = Frame{};
                continue;
            case TagPlaceObject:
                pending.commands.push_back(read_place_object(tag));
                break;
            case TagPlaceObject2:
                pending.commands.push_back(read_place_object2(tag));
                break;
            case TagRemoveObject:
            case TagRemoveObject2: {
                PlaceCommand command;
                command.kind = PlaceCommand::Kind::Remove;
                if (code == TagRemoveObject)
                    tag.u16();
                command.depth = tag.u16();
                pending.commands.push_back(command);
                break;
            }
            case TagDoAction:
                pending.actions.push_back(action_bytes(body));
                continue;
            case TagFrameLabel: {
                std::string label = tag.string();
                if (!tag.failed() && !label.empty()) {
                    pending.label = label;
                    timeline.labels.emplace(lower(label), static_cast<int>(timeline.frames.size()));
                }
                continue;
            }
            default:
                if (!in_sprite)
                    read_definition(code, tag, body);
                continue;
            }
            // A control tag whose fields run past its end is dropped, not half applied.
            if (tag.failed())
                pending.commands.pop_back();
        }
        // Tags after the last ShowFrame are not a frame, unless there is no other.
        if (timeline.frames.empty())
            timeline.frames.push_back(std::move(pending));
    }

private:
    void read_definition(uint16_t code, ByteReader& tag, std::span<const uint8_t> body) {
        switch (code) {
        case TagSetBackgroundColor:
            if (!m_movie.has_background) {
                Rgba c = read_rgb(tag);
                if (!tag.failed()) {
                    m_movie.has_background = true;
                    m_movie.background = uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
                }
            }
            return;
        case TagDefineShape:
        case TagDefineShape2:
        case TagDefineShape3: {
            auto character = std::make_unique<Character>();
            uint16_t id = tag.u16();
            int version = code == TagDefineShape ? 1 : code == TagDefineShape2 ? 2 : 3;
            // A shape whose records break off keeps the edges read before the break.
            read_shape(tag, version, character->shape);
            if (character->shape.fill_edges.size() != character->shape.fills.size() ||
                character->shape.line_edges.size() != character->shape.lines.size()) {
                character->shape.fill_edges.resize(character->shape.fills.size());
                character->shape.line_edges.resize(character->shape.lines.size());
            }
            define(id, std::move(character));
            return;
        }
        case TagDefineBitsLossless:
        case TagDefineBitsLossless2: {
            auto character = std::make_unique<Character>();
            character->kind = Character::Kind::Bitmap;
            uint16_t id = tag.u16();
            if (read_lossless_bitmap(tag, code == TagDefineBitsLossless ? 1 : 2, character->bitmap))
                define(id, std::move(character));
            return;
        }
        case TagDefineSprite: {
            auto character = std::make_unique<Character>();
            character->kind = Character::Kind::Sprite;
            uint16_t id = tag.u16();
            character->sprite.declared_frames = tag.u16();
            if (tag.failed())
                return;
            read(tag, character->sprite, true);
            define(id, std::move(character));
            return;
        }
        case TagDefineButton: {
            auto character = std::make_unique<Character>();
            character->kind = Character::Kind::Button;
            uint16_t id = tag.u16();
            if (!read_button_records(tag, false, character->button))
                return;
            ButtonAction release;
            release.conditions = ButtonAction::OverDownToOverUp;
            release.code = action_bytes(body.subspan(tag.position()));
            character->button.actions.push_back(std::move(release));
            define(id, std::move(character));
            return;
        }
        case TagDefineButton2: {
            auto character = std::make_unique<Character>();
            character->kind = Character::Kind::Button;
            uint16_t id = tag.u16();
            read_button2(tag, body, character->button);
            if (!tag.failed())
                define(id, std::move(character));
            return;
        }
        default:
            return; // text, fonts, sounds, video and the rest are not drawn
        }
    }

    void define(uint16_t id, std::unique_ptr<Character> character) {
        // The first definition of an id stands; a file that repeats one does not replace it.
        m_movie.characters.emplace(id, std::move(character));
    }

    MovieData& m_movie;
};

} // namespace

bool read_movie(std::span<const uint8_t> file, MovieData& movie, std::string& error) {
    movie = MovieData{};
    if (file.size() < 8) {
        error = "The movie's header is incomplete.";
        return false;
    }
    bool compressed = file[0] == 'C';
    if (file[0] == 'Z' && file[1] == 'W' && file[2] == 'S') {
        error = "LZMA-compressed movies are not supported.";
        return false;
    }
    if ((file[0] != 'F' && file[0] != 'C') || file[1] != 'W' || file[2] != 'S') {
        error = "The file is not a movie.";
        return false;
    }
    movie.version = file[3];
    if (movie.version == 0) {
        error = "The movie's version is not valid.";
        return false;
    }
    uint32_t length = uint32_t(file[4]) | uint32_t(file[5]) << 8 | uint32_t(file[6]) << 16 | uint32_t(file[7]) << 24;
    size_t body_length = length >= 8 ? length - 8 : 0;
    std::vector<uint8_t> inflated;
    std::span<const uint8_t> body;
    if (compressed) {
        // However large the header says the movie is, it is only as large as its data inflates to.
        inflate_bounded(file.subspan(8), std::min(body_length, max_movie_bytes), inflated);
        body = inflated;
    } else {
        // A header length beyond the file is ignored; one short of it ends the movie there.
        body = file.subspan(8);
        if (body_length > 0 && body_length < body.size())
            body = body.first(body_length);
    }
    ByteReader in(body);
    movie.frame_rect = read_rect(in);
    uint16_t rate = in.u16();
    movie.frame_count = in.u16();
    if (in.failed()) {
        error = "The movie's header is incomplete.";
        movie = MovieData{};
        return false;
    }
    movie.frame_rate = rate / 256.0;
    TagLoop loop(movie);
    loop.read(in, movie.root, false);
    movie.root.declared_frames = movie.frame_count;
    return true;
}

} // namespace tarpon::swf
