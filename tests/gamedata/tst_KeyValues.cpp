#include "gamedata/KeyValues.h"
#include "gamedata/SteamLibrary.h"

#include <gtest/gtest.h>

using namespace starloom;

namespace {

// Steam's current libraryfolders.vdf: one block per library, with the apps it holds.
const char* const nestedLibraries = R"("libraryfolders"
{
	"0"
	{
		"path"		"/home/player/.local/share/Steam"
		"label"		""
		"contentid"		"4218373913238474071"
		"totalsize"		"0"
		"update_clean_bytes_tally"		"0"
		"time_last_update_verified"		"0"
		"apps"
		{
			"228980"		"463523219"
		}
	}
	"1"
	{
		"path"		"/mnt/games/SteamLibrary"
		"label"		"games"
		"apps"
		{
			"244160"		"21340234823"
			"1229490"		"1234"
		}
	}
}
)";

// The older flat format: numbered keys whose values are the library folders.
const char* const flatLibraries = R"("LibraryFolders"
{
	"TimeNextStatsReport"		"1700000000"
	"ContentStatsID"		"-4218373913238474071"
	"1"		"D:\\SteamLibrary"
	"2"		"E:\\Games\\Steam"
}
)";

const char* const appManifest = R"("AppState"
{
	"appid"		"244160"
	"Universe"		"1"
	"name"		"Homeworld Remastered Collection"
	"StateFlags"		"4"
	"installdir"		"Homeworld"
	"UserConfig"
	{
		"language"		"english"
	}
}
)";

TEST(KeyValues, ReadsBothLibraryFormats)
{
    const auto nested = KeyValues::parse(QString::fromUtf8(nestedLibraries));
    const auto flat = KeyValues::parse(QString::fromUtf8(flatLibraries));
    ASSERT_TRUE(nested);
    ASSERT_TRUE(flat);
    EXPECT_EQ(
        steamLibraries(*nested, "244160"), (QStringList{"/mnt/games/SteamLibrary", "/home/player/.local/share/Steam"}));
    EXPECT_EQ(steamLibraries(*nested, "228980").first(), QStringLiteral("/home/player/.local/share/Steam"));
    EXPECT_EQ(steamLibraries(*flat, "244160"), (QStringList{"D:\\SteamLibrary", "E:\\Games\\Steam"}));
}

TEST(KeyValues, ReadsAnAppManifest)
{
    const auto manifest = KeyValues::parse(QString::fromUtf8(appManifest));
    ASSERT_TRUE(manifest);
    const KeyValues& state = manifest->children.at(0);
    EXPECT_EQ(state.text(u"INSTALLDIR") + u'|' + state.child(u"UserConfig")->text(u"language") + u'|'
            + state.text(u"UserConfig"),
        QStringLiteral("Homeworld|english|"));
}

TEST(KeyValues, ReadsCommentsBareWordsConditionsEscapesAsSteamWritesThem)
{
    const auto kv = KeyValues::parse(u"\xfeff// a comment\n"
                                     u"bare value [$WIN32]\n"
                                     u"\"quoted\" \"a \\\"b\\\" \\\\c\\n\" // trailing\n"
                                     u"block [$OSX] { inner{}\"x\"\"y\" }\n");
    ASSERT_TRUE(kv);
    ASSERT_EQ(kv->children.size(), 3u);
    EXPECT_EQ(kv->text(u"bare") + u'|' + kv->text(u"quoted"), QStringLiteral("value|a \"b\" \\c\n"));
    const KeyValues* block = kv->child(u"Block");
    ASSERT_TRUE(block);
    ASSERT_TRUE(block->isBlock);
    ASSERT_EQ(block->children.size(), 2);
    EXPECT_TRUE(block->child(u"inner")->isBlock);
    EXPECT_TRUE(block->child(u"inner")->children.empty());
    EXPECT_EQ(block->text(u"x"), u"y");
}

TEST(KeyValues, MalformedTextIsRefusedWithTheLine)
{
    const std::pair<QString, const char*> cases[] = {
        {"\"a\" \"b", "line 1: a quoted text is not closed"},
        {"a\n{\n b c\n", "line 4: a block is not closed"},
        {"a b\n}", "line 2: a closing brace has no block"},
        {"{ a b }", "line 1: a block has no key"},
        {"a b\nc", "line 2: the key \"c\" has no value"},
        {"a }", "line 1: the key \"a\" has no value"},
        {QString("k {").repeated(65) + QString("}").repeated(65), "nested too deeply"},
    };
    for (const auto& [text, message] : cases) {
        QString error;
        EXPECT_FALSE(KeyValues::parse(text, &error)) << message << " / " << error.toStdString();
        EXPECT_TRUE(error.contains(QLatin1String(message))) << message << " / " << error.toStdString();
    }
    EXPECT_TRUE(KeyValues::parse(QString("k {").repeated(64) + QString("}").repeated(64)));
}

} // namespace
