#pragma once

#include "LevelReader.h"
#include "ReadSink.h"

#include "document/Catalogue.h"
#include "document/ItemFields.h"
#include "document/Level.h"
#include "document/SettingsLines.h"

#include <array>
#include <limits>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

namespace starloom {

// Builds the level from what a reader reports: item calls become records (appended to their
// kinds' arrays, player starts into their slots) and rows of the object list, the editor's own
// level-wide calls set the
// settings, every other call of the chunks is kept, and the globals replace the level's. Each
// record keeps the call it came from when the call said more than the record holds, so that the
// writer can write it back as it was.
class LevelBuilder final : public ReadSink {
public:
    LevelBuilder(Level& level, ModelLists& models);
    // The calls come from a script's run: their numbers carry no numerals, so a number is as the
    // editor writes it when it has the written value (0 where the editor writes "0.0"), and the
    // record need not keep the call.
    void setComputedNumbers(bool computed) { m_computedNumbers = computed; }

    void call(const LevelCall& call) override;
    // Item calls written as the editor writes them are read from their bytes: the same records,
    // rows and problems (none) as call() gives them, in a fraction of the time.
    std::size_t offerCall(std::string_view name, std::string_view bytes, Chunk chunk, qint64 line) override;
    void keepOffered() override;
    void dropOffered() override;
    void global(std::string_view name, const LuaValue& value, qint64 line) override;
    void problem(qint64 line, const QString& reason) override;
    // Listed before the other problems, never left out.
    void stopped(qint64 line, const QString& reason) override;

    // The result of the read (the count of problems not listed is added as a last problem).
    ReadResult finish();

private:
    // Fills `record` (of the kind's layout) from the call; false when the item cannot be read.
    template <class Rec> bool fill(ItemKind kind, const LevelCall& call, AnyRecord& record, bool& asWritten);
    template <class Rec>
    void fillArg(
        const KindLayout& layout, const ArgShape& shape, const LuaValue* value, AnyRecord& record, bool& asWritten);
    void item(ItemKind kind, const LevelCall& call);
    // Stores a filled record as the item of its kind, and lists it. `args` are the call's
    // arguments, kept with the record when it is not written back as read (they may be nullptr
    // only when it is); `firstText` the first argument of a megalith or a ship when it is a
    // quoted text, or nullptr.
    void store(ItemKind kind, AnyRecord& any, Chunk callChunk, bool asWritten, const std::vector<LuaValue>* args,
        const QString* firstText);
    // Reads the offered call's arguments into m_offered's record; false when they are not
    // written the editor's way.
    bool readOffered(std::string_view bytes, std::size_t& used);
    std::int32_t int32(const LuaValue* value, const char* what, bool& asWritten);
    void fixedLine(FixedLine line, const LevelCall& call);
    // Reads the settings of a level-wide line's arguments `shapes` from `values` (nullptr: none
    // given), appending their texts as read to `asRead`.
    void readSettings(const std::vector<SettingArg>& shapes, const std::vector<LuaValue>* values, QStringList& asRead);
    // The value as a number (a text that is a number counts); false (out 0) when it is none, with
    // a problem naming the value `what` (and " component" after it) when `tell`.
    bool number(const LuaValue* value, const char* what, double& out, bool component = false, bool tell = true);
    QString settingNumber(const LuaValue* value, const QString& current, const char* what);

    LevelDocument& m_doc;
    MapSettings& m_settings;
    std::vector<ObjectRow>& m_rows;
    ModelLists& m_models;
    ReadResult m_result;
    qint64 m_line = 0;
    qint64 m_notSearchedBefore;  // the model lists' count of names not searched, when the read began
    qint64 m_unlisted = 0;       // problems past the cap on listed ones
    std::size_t m_fileNotes = 0; // listed notes on the whole file (line 0), never capped
    std::size_t m_stops = 0;     // the errors that stopped the script, listed first
    // Where the call each of the editor's level-wide lines was taken from stood among the kept
    // calls: the count of kept calls read before it (not counting calls put back among them), and
    // the order the lines were taken in.
    struct FixedTaken {
        bool seen = false;
        std::size_t keptBefore = 0;
        std::size_t order = 0;
        auto at() const { return std::pair(keptBefore, order); }
    };
    std::array<FixedTaken, fixedLineCount> m_fixedTaken{};
    std::size_t m_fixedOrder = 0;
    std::vector<std::pair<std::size_t, std::size_t>> m_putBack; // where the calls put back were taken
    // A DetermChunk call of a line taken from NonDetermChunk takes its place: that one is kept.
    void putBackFixed(FixedLine line);
    // What a model name read before came to, per kind.
    struct ModelSeen {
        std::int16_t index = -1;
        std::int8_t writtenAlike = -1; // the writer writes the name back alike: 1, 0, or -1 not yet asked
        QString text;                  // the list's entry, or the name itself when it names no model
    };
    // What the name came to, without a note of the kind as the last one the load used.
    ModelSeen& lookUpModel(ItemKind kind, std::string_view name);
    ModelSeen& seenModel(ItemKind kind, std::string_view name)
    {
        m_result.lastKind = kind;
        return lookUpModel(kind, name);
    }
    // Looked up by the name's bytes, without a copy.
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
    };
    ByTypeId<std::unordered_map<std::string, ModelSeen, NameHash, std::equal_to<>>> m_modelCache;
    int m_slot = -1; // the player slot of the addPoint call being read
    // The line of each player slot's start point, none while it has none: the game takes a slot's
    // first start point, so a later one is kept as a call.
    std::array<std::optional<qint64>, playerSlots> m_startLines{};
    // The call offered last, read from its bytes, until it is kept or dropped.
    struct Offered {
        bool held = false;
        ItemKind kind = ItemKind::PlayerStart;
        AnyRecord record;
        QString firstText; // the first argument of a megalith or a ship
        bool firstIsText = false;
        qint64 line = 0;
        int slot = -1;
    } m_offered;
    // The colour components last read from their bytes, per panel field.
    // (The text views the writer's own text of the component.)
    std::array<std::pair<std::string_view, int>, 4> m_lastComponents{{{{}, -1}, {{}, -1}, {{}, -1}, {{}, -1}}};
    // The last whole-number size checked, and whether the writer writes it back alike.
    long long m_sizeChecked = std::numeric_limits<long long>::min(); // none yet: no size is this
    bool m_sizeAlike = false;
    bool m_computedNumbers = false;
    std::string_view m_modelAsRead; // the model name of the call being read
    // The text of `name`: the last one made when it is the same, so that items named alike (a
    // run of clouds all called "polySurface1") hold one text between them.
    QString sharedName(std::string_view name);
    QString m_lastName;
};

} // namespace starloom
