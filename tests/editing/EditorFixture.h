#pragma once

#include "editing/Editor.h"
#include "editing/EditorHost.h"
#include "gamedata/SettingsStore.h"

#include <gtest/gtest.h>

#include <QMap>
#include <QString>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace starloom::test {

// Answers the editor's questions from queues (a fixed answer once empty) and records its messages.
class ScriptedHost : public EditorHost {
public:
    struct Message {
        QString text, title;
    };
    std::vector<Message> messages;
    QStringList statuses; // the status-bar notes
    QStringList notes;    // the longer notes that need no answer (refusals, what an open left out)
    std::deque<QString> saveNames, openNames;
    std::deque<std::optional<QString>> textAnswers;
    std::deque<std::optional<std::int32_t>> colourAnswers;
    std::deque<SaveChoice> saveChoices;                   // Discard when empty
    std::deque<bool> yesNoAnswers;                        // No when empty
    std::deque<int> choiceAnswers;                        // Cancel (-1) when empty
    QStringList lastButtons;                              // the answers the last askChoice offered
    std::vector<QString> questions;                       // every yes/no question asked
    std::deque<RecoveryAnswer> recoveryAnswers;           // Keep when empty
    std::vector<std::vector<RecoveryCopy>> offeredCopies; // each askRecovery's copies
    int saveQuestions = 0, saveDialogs = 0;
    QString lastSaveFilter, lastSaveInitialName, lastPrompt, lastOpenTitle, lastSaveChangesDesc;
    std::optional<std::int32_t> lastInitialColour;

    void showMessage(const QString& text, const QString& title) override { messages.push_back({text, title}); }
    void showStatus(const QString& text) override { statuses.push_back(text); }
    void showNote(const QString& text) override { notes.push_back(text); }
    QString askSaveFileName(const QString& filter, const QString& initialName) override
    {
        ++saveDialogs;
        lastSaveFilter = filter;
        lastSaveInitialName = initialName;
        return take(saveNames, QString());
    }
    QString askOpenFileName(const QString&) override { return take(openNames, QString()); }
    QString askOpenFileNameIn(const QString& filter, const QString&, const QString& title) override
    {
        lastOpenTitle = title;
        return askOpenFileName(filter);
    }
    std::optional<QString> askText(const QString& prompt, const QString& title, const QString& defaultText) override
    {
        lastPrompt = prompt + u'|' + title + u'|' + defaultText;
        return take(textAnswers, std::optional<QString>());
    }
    std::optional<std::int32_t> askColour(std::int32_t initial) override
    {
        return lastInitialColour = initial, take(colourAnswers, std::optional<std::int32_t>());
    }
    SaveChoice askSaveChanges(const QString& levelDesc) override
    {
        lastSaveChangesDesc = levelDesc;
        return ++saveQuestions, take(saveChoices, SaveChoice::Discard);
    }
    bool askYesNo(const QString& question, const QString&) override
    {
        questions.push_back(question);
        return take(yesNoAnswers, false);
    }
    int askChoice(const QString& question, const QString&, const QStringList& buttons) override
    {
        questions.push_back(question);
        lastButtons = buttons;
        return take(choiceAnswers, -1);
    }
    RecoveryAnswer askRecovery(const std::vector<RecoveryCopy>& copies) override
    {
        offeredCopies.push_back(copies);
        return take(recoveryAnswers, RecoveryAnswer{});
    }
    QString lastMessage() const { return messages.empty() ? QString() : messages.back().text; }
    QString lastNote() const { return notes.empty() ? QString() : notes.back(); }

private:
    template <class T> static T take(std::deque<T>& queue, T value)
    {
        if (!queue.empty()) {
            value = queue.front();
            queue.pop_front();
        }
        return value;
    }
};

class MemorySettingsStore final : public SettingsStore {
public:
    QMap<QString, QString> values;
    QString read(const QString& key, const QString& fallback) const override { return values.value(key, fallback); }
    void write(const QString& key, const QString& value) override { values[key] = value; }
};

// Random numbers from a list, in turn; the last one repeats.
struct ScriptedRandom {
    std::shared_ptr<std::deque<double>> values = std::make_shared<std::deque<double>>();
    RandomSource source()
    {
        return [v = values, last = 0.5]() mutable {
            return v->empty() ? last : (last = v->front(), v->pop_front(), last);
        };
    }
    void push(std::initializer_list<double> list) { values->assign(list); }
};

// The problems the editor's last load found, one a line, as the Checks panel lists them.
inline std::string loadProblemText(const Editor& editor)
{
    std::string text;
    for (const ReadProblem& p : editor.loadProblems())
        text += std::to_string(p.line) + ": " + p.reason.toStdString() + "\n";
    return text;
}

class EditorTest : public ::testing::Test {
protected:
    ScriptedHost host;
    MemorySettingsStore store;
    ScriptedRandom random;
    std::unique_ptr<Editor> editor;

    void SetUp() override { makeEditor(); }
    void makeEditor(const QString& gameDir = {})
    {
        editor = std::make_unique<Editor>(host, store, random.source(), gameDir);
    }

    void clickTop(double x, double y)
    {
        editor->moveOnTopView(Qt::NoButton, Qt::NoModifier, QPointF(x, y)), editor->clickTopView();
    }
    void place(ItemKind kind, double x, double y, int entry = 0)
    {
        editor->chooseKind(kind);
        if (entry != 0)
            editor->chooseModel(entry);
        clickTop(x, y);
    }
    void placeCustom(ItemKind kind, const QString& name, double x = 0, double y = 0)
    {
        editor->chooseKind(kind);
        editor->chooseModel(static_cast<int>(editor->panel().models.size()) - 1);
        editor->setCustomName(name);
        clickTop(x, y);
    }
    void edit(int row)
    {
        editor->selectRow(row);
        editor->editSelectedRow();
    }
    // Edits the row: types the texts into the fields from the first on (null: leaves it) and applies.
    void apply(int row, std::initializer_list<const char*> texts)
    {
        edit(row);
        int i = 0;
        for (const char* text : texts)
            if (const int field = i++; text)
                editor->setFieldText(field, QString::fromLatin1(text));
        editor->applyPanel();
    }

    const LevelDocument& doc() const { return editor->document(); }
};

} // namespace starloom::test
