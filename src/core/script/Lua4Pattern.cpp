#include "Lua4Pattern.h"

#include "ScriptState.h"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace starloom {

namespace {

constexpr int maxCaptures = 32;
constexpr int maxMatchDepth = 200;
constexpr std::ptrdiff_t capUnfinished = -1;
constexpr std::ptrdiff_t capPosition = -2;
constexpr char escape = '%';

// Character classes of the C locale, whatever the program's locale is.
bool isLower(int c)
{
    return c >= 'a' && c <= 'z';
}
bool isUpper(int c)
{
    return c >= 'A' && c <= 'Z';
}
bool isAlphaC(int c)
{
    return isLower(c) || isUpper(c);
}
bool isDigitC(int c)
{
    return c >= '0' && c <= '9';
}
bool isSpaceC(int c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool isCntrlC(int c)
{
    return c < 32 || c == 127;
}
bool isPunctC(int c)
{
    return c > 32 && c < 127 && !isAlphaC(c) && !isDigitC(c);
}
bool isXDigitC(int c)
{
    return isDigitC(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
int toLowerC(int c)
{
    return isUpper(c) ? c - 'A' + 'a' : c;
}

struct MatchState {
    lua_State* L;
    ScriptState* script;
    const char* srcInit;
    const char* srcEnd;
    const char* patEnd;
    int depth = maxMatchDepth;
    int level = 0;
    std::uint64_t steps = 0;
    struct {
        const char* init;
        std::ptrdiff_t len;
    } capture[maxCaptures];

    // `n` steps of matching (one for each pattern item tried, and each byte of a character class
    // read), charged to the script now and then.
    void step(std::uint64_t n = 1)
    {
        if ((steps += n) >= 4096) {
            script->chargeSteps(L, steps);
            steps = 0;
        }
    }
};

const char* match(MatchState& ms, const char* s, const char* p);

bool matchClass(int c, int cl)
{
    bool res = false;
    switch (toLowerC(cl)) {
    case 'a':
        res = isAlphaC(c);
        break;
    case 'c':
        res = isCntrlC(c);
        break;
    case 'd':
        res = isDigitC(c);
        break;
    case 'l':
        res = isLower(c);
        break;
    case 'p':
        res = isPunctC(c);
        break;
    case 's':
        res = isSpaceC(c);
        break;
    case 'u':
        res = isUpper(c);
        break;
    case 'w':
        res = isAlphaC(c) || isDigitC(c);
        break;
    case 'x':
        res = isXDigitC(c);
        break;
    case 'z':
        res = c == 0;
        break;
    default:
        return cl == c;
    }
    return isUpper(cl) ? !res : res;
}

const char* classEnd(MatchState& ms, const char* p)
{
    switch (*p++) {
    case escape:
        if (p >= ms.patEnd)
            luaL_error(ms.L, "malformed pattern (ends with '%%')");
        return p + 1;
    case '[':
        if (*p == '^')
            ++p;
        do { // look for a ']'
            if (p >= ms.patEnd)
                luaL_error(ms.L, "malformed pattern (missing ']')");
            if (*(p++) == escape && p < ms.patEnd)
                ++p; // skip escapes (e.g. '%]')
        } while (*p != ']');
        return p + 1;
    default:
        return p;
    }
}

bool matchBracketClass(int c, const char* p, const char* ec)
{
    bool sig = true;
    if (*(p + 1) == '^') {
        sig = false;
        ++p;
    }
    while (++p < ec) {
        if (*p == escape) {
            ++p;
            if (matchClass(c, static_cast<unsigned char>(*p)))
                return sig;
        } else if (*(p + 1) == '-' && p + 2 < ec) {
            p += 2;
            if (static_cast<unsigned char>(*(p - 2)) <= c && c <= static_cast<unsigned char>(*p))
                return sig;
        } else if (static_cast<unsigned char>(*p) == c) {
            return sig;
        }
    }
    return !sig;
}

bool singleMatch(MatchState& ms, const char* s, const char* p, const char* ep)
{
    if (s >= ms.srcEnd)
        return false;
    const int c = static_cast<unsigned char>(*s);
    switch (*p) {
    case '.':
        return true;
    case escape:
        return matchClass(c, static_cast<unsigned char>(*(p + 1)));
    case '[':
        ms.step(static_cast<std::uint64_t>(ep - p));
        return matchBracketClass(c, p, ep - 1);
    default:
        return static_cast<unsigned char>(*p) == c;
    }
}

const char* matchBalance(MatchState& ms, const char* s, const char* p)
{
    if (p + 1 >= ms.patEnd)
        luaL_error(ms.L, "malformed pattern (missing arguments to '%%b')");
    if (s >= ms.srcEnd || *s != *p)
        return nullptr;
    const char b = *p;
    const char e = *(p + 1);
    int open = 1;
    while (++s < ms.srcEnd) {
        ms.step();
        if (*s == e) {
            if (--open == 0)
                return s + 1;
        } else if (*s == b) {
            ++open;
        }
    }
    return nullptr;
}

const char* maxExpand(MatchState& ms, const char* s, const char* p, const char* ep)
{
    std::ptrdiff_t i = 0;
    while (singleMatch(ms, s + i, p, ep)) {
        ms.step();
        ++i;
    }
    while (i >= 0) { // try with the most repetitions first
        const char* res = match(ms, s + i, ep + 1);
        if (res != nullptr)
            return res;
        --i;
    }
    return nullptr;
}

const char* minExpand(MatchState& ms, const char* s, const char* p, const char* ep)
{
    for (;;) {
        const char* res = match(ms, s, ep + 1);
        if (res != nullptr)
            return res;
        if (!singleMatch(ms, s, p, ep))
            return nullptr;
        ++s;
    }
}

const char* startCapture(MatchState& ms, const char* s, const char* p, std::ptrdiff_t what)
{
    if (ms.level >= maxCaptures)
        luaL_error(ms.L, "too many captures");
    ms.capture[ms.level].init = s;
    ms.capture[ms.level].len = what;
    ++ms.level;
    const char* res = match(ms, s, p);
    if (res == nullptr)
        --ms.level;
    return res;
}

const char* endCapture(MatchState& ms, const char* s, const char* p)
{
    int open = -1;
    for (int l = ms.level - 1; l >= 0; --l) {
        if (ms.capture[l].len == capUnfinished) {
            open = l;
            break;
        }
    }
    if (open < 0)
        luaL_error(ms.L, "invalid pattern capture");
    ms.capture[open].len = s - ms.capture[open].init;
    const char* res = match(ms, s, p);
    if (res == nullptr)
        ms.capture[open].len = capUnfinished;
    return res;
}

int checkCapture(MatchState& ms, int l)
{
    l -= '1';
    if (l < 0 || l >= ms.level || ms.capture[l].len == capUnfinished)
        luaL_error(ms.L, "invalid capture index");
    return l;
}

const char* matchCapture(MatchState& ms, const char* s, int l)
{
    l = checkCapture(ms, l);
    const auto len = static_cast<std::size_t>(ms.capture[l].len);
    if (static_cast<std::size_t>(ms.srcEnd - s) >= len && std::memcmp(ms.capture[l].init, s, len) == 0)
        return s + len;
    return nullptr;
}

const char* match(MatchState& ms, const char* s, const char* p)
{
    if (ms.depth-- == 0)
        luaL_error(ms.L, "pattern too complex");
    ms.step();
    for (;;) {
        if (p == ms.patEnd)
            break;
        if (*p == '(') {
            s = *(p + 1) == ')' ? startCapture(ms, s, p + 2, capPosition) : startCapture(ms, s, p + 1, capUnfinished);
            break;
        }
        if (*p == ')') {
            s = endCapture(ms, s, p + 1);
            break;
        }
        if (*p == '$' && p + 1 == ms.patEnd) {
            s = s == ms.srcEnd ? s : nullptr;
            break;
        }
        if (*p == escape && *(p + 1) == 'b') {
            s = matchBalance(ms, s, p + 2);
            if (s != nullptr) {
                p += 4;
                continue;
            }
            break;
        }
        if (*p == escape && isDigitC(static_cast<unsigned char>(*(p + 1)))) {
            s = matchCapture(ms, s, static_cast<unsigned char>(*(p + 1)));
            if (s != nullptr) {
                p += 2;
                continue;
            }
            break;
        }
        const char* ep = classEnd(ms, p);
        ms.step(static_cast<std::uint64_t>(ep - p));
        const char next = ep < ms.patEnd ? *ep : '\0';
        if (!singleMatch(ms, s, p, ep)) {
            if (next == '*' || next == '?' || next == '-') {
                p = ep + 1;
                continue;
            }
            s = nullptr;
            break;
        }
        if (next == '?') {
            const char* res = match(ms, s + 1, ep + 1);
            if (res != nullptr) {
                s = res;
                break;
            }
            p = ep + 1;
            continue;
        }
        if (next == '+') {
            s = maxExpand(ms, s + 1, p, ep);
            break;
        }
        if (next == '*') {
            s = maxExpand(ms, s, p, ep);
            break;
        }
        if (next == '-') {
            s = minExpand(ms, s, p, ep);
            break;
        }
        ++s;
        p = ep;
    }
    ++ms.depth;
    return s;
}

void pushCapture(MatchState& ms, int i, const char* s, const char* e)
{
    if (i >= ms.level) {
        if (i == 0) // no captures: the whole match
            lua_pushlstring(ms.L, s, static_cast<std::size_t>(e - s));
        else
            luaL_error(ms.L, "invalid capture index");
        return;
    }
    const std::ptrdiff_t len = ms.capture[i].len;
    if (len == capUnfinished)
        luaL_error(ms.L, "unfinished capture");
    if (len == capPosition)
        lua_pushnumber(ms.L, static_cast<double>(ms.capture[i].init - ms.srcInit + 1));
    else
        lua_pushlstring(ms.L, ms.capture[i].init, static_cast<std::size_t>(len));
}

int pushCaptures(MatchState& ms, const char* s, const char* e)
{
    const int n = ms.level;
    luaL_checkstack(ms.L, n, "too many captures");
    for (int i = 0; i < n; ++i)
        pushCapture(ms, i, s, e);
    return n;
}

MatchState matchState(lua_State* L, std::string_view s, std::string_view p)
{
    MatchState ms{};
    ms.L = L;
    ms.script = &ScriptState::of(L);
    ms.srcInit = s.data();
    ms.srcEnd = s.data() + s.size();
    ms.patEnd = p.data() + p.size();
    ms.depth = maxMatchDepth;
    return ms;
}

long long relative(long long pos, std::size_t len)
{
    return pos >= 0 ? pos : static_cast<long long>(len) + pos + 1;
}

// Where `p` first occurs in `s` from `from` on (Knuth, Morris and Pratt: time linear in both,
// whatever they hold), or npos; the work and the table it needs are charged to the script.
std::size_t plainFind(lua_State* L, std::string_view s, std::string_view p, std::size_t from)
{
    if (p.empty())
        return from;
    if (p.size() > s.size() - from)
        return std::string_view::npos;
    ScriptState& script = ScriptState::of(L);
    HeldBytes held(script.budget, L);
    held.add(p.size() * sizeof(std::size_t));
    script.chargeSteps(L, (s.size() - from + p.size()) / ScriptBudget::bytesPerStep);
    // border[i]: the length of the longest proper border of p[0 .. i].
    std::vector<std::size_t> border(p.size(), 0);
    for (std::size_t i = 1, k = 0; i < p.size(); ++i) {
        while (k > 0 && p[i] != p[k])
            k = border[k - 1];
        if (p[i] == p[k])
            ++k;
        border[i] = k;
    }
    for (std::size_t i = from, k = 0; i < s.size(); ++i) {
        while (k > 0 && s[i] != p[k])
            k = border[k - 1];
        if (s[i] == p[k] && ++k == p.size())
            return i + 1 - p.size();
    }
    return std::string_view::npos;
}

} // namespace

int lua4Strfind(lua_State* L)
{
    const std::string_view s = lua4CheckString(L, 1);
    const std::string_view p = lua4CheckString(L, 2);
    const double initArg = lua4OptNumber(L, 3, 1);
    const long long init =
        relative(initArg > -1e15 && initArg < 1e15 ? static_cast<long long>(initArg) : -1, s.size()) - 1;
    luaL_argcheck(L, init >= 0 && static_cast<std::size_t>(init) <= s.size(), 3, "out of range");
    const bool plain = lua_gettop(L) > 3 || p.find_first_of("^$*+?.([%-") == std::string_view::npos;
    if (plain) {
        const std::size_t at = plainFind(L, s, p, static_cast<std::size_t>(init));
        if (at != std::string_view::npos) {
            lua_pushnumber(L, static_cast<double>(at + 1));
            lua_pushnumber(L, static_cast<double>(at + p.size()));
            return 2;
        }
        lua_pushnil(L);
        return 1;
    }
    MatchState ms = matchState(L, s, p);
    const bool anchor = !p.empty() && p[0] == '^';
    const char* pattern = p.data() + (anchor ? 1 : 0);
    const char* s1 = s.data() + init;
    do {
        ms.level = 0;
        ms.depth = maxMatchDepth;
        if (const char* e = match(ms, s1, pattern)) {
            lua_pushnumber(L, static_cast<double>(s1 - s.data() + 1));
            lua_pushnumber(L, static_cast<double>(e - s.data()));
            return pushCaptures(ms, nullptr, nullptr) + 2;
        }
    } while (s1++ < ms.srcEnd && !anchor);
    lua_pushnil(L);
    return 1;
}

int lua4Gsub(lua_State* L)
{
    ScriptState& script = ScriptState::of(L);
    const std::string_view src = lua4CheckString(L, 1);
    const std::string_view p = lua4CheckString(L, 2);
    const int replacementType = lua_type(L, 3);
    luaL_argcheck(L,
        replacementType == LUA_TSTRING || replacementType == LUA_TNUMBER || replacementType == LUA_TFUNCTION, 3,
        "string or function expected");
    const std::string_view replacement = replacementType == LUA_TFUNCTION ? std::string_view() : lua4CheckString(L, 3);
    const double maxArg = lua4OptNumber(L, 4, static_cast<double>(src.size()) + 1);
    const long long maxCount = maxArg > -1e15 && maxArg < 1e15 ? static_cast<long long>(maxArg) : 0;
    lua_settop(L, 4);
    const bool anchor = !p.empty() && p[0] == '^';
    const char* pattern = p.data() + (anchor ? 1 : 0);
    MatchState ms = matchState(L, src, p);
    const char* s = src.data();
    // Built in Lua's own buffer: its memory and steps are the script's, charged as it grows.
    luaL_Buffer out;
    luaL_buffinit(L, &out);
    long long n = 0;
    while (n < maxCount) {
        ms.level = 0;
        ms.depth = maxMatchDepth;
        const char* e = match(ms, s, pattern);
        if (e != nullptr) {
            ++n;
            if (replacementType != LUA_TFUNCTION) {
                // Each character of the replacement is work, also where it adds nothing.
                script.chargeSteps(L, 1 + replacement.size() / ScriptBudget::bytesPerStep);
                // %1 .. %9 stand for captures; a "%" before anything else is kept as it is.
                for (std::size_t i = 0; i < replacement.size(); ++i) {
                    const char c = replacement[i];
                    if (c == escape && i + 1 < replacement.size()
                        && isDigitC(static_cast<unsigned char>(replacement[i + 1]))) {
                        const int level = replacement[i + 1] == '0' ? -1 : checkCapture(ms, replacement[i + 1]);
                        if (level < 0) {
                            luaL_addlstring(&out, s, static_cast<std::size_t>(e - s));
                        } else {
                            pushCapture(ms, level, s, e);
                            if (lua_type(L, -1) == LUA_TNUMBER) {
                                char buffer[32];
                                const std::string_view text = lua4NumberText(lua_tonumber(L, -1), buffer);
                                lua_pop(L, 1);
                                luaL_addlstring(&out, text.data(), text.size());
                            } else {
                                luaL_addvalue(&out);
                            }
                        }
                        ++i;
                    } else {
                        luaL_addchar(&out, c);
                    }
                }
            } else {
                script.chargeSteps(L, ScriptBudget::callSteps); // a callback, maybe a function of C's
                lua_pushvalue(L, 3);
                const int args = pushCaptures(ms, s, e);
                lua_call(L, args, 1);
                if (lua_type(L, -1) == LUA_TSTRING || lua_type(L, -1) == LUA_TNUMBER) {
                    lua4CheckString(L, lua_gettop(L));
                    luaL_addvalue(&out);
                } else {
                    lua_pop(L, 1);
                }
            }
        }
        if (e != nullptr && e > s)
            s = e;
        else if (s < ms.srcEnd)
            luaL_addchar(&out, *s++);
        else
            break;
        if (anchor)
            break;
    }
    luaL_addlstring(&out, s, static_cast<std::size_t>(ms.srcEnd - s));
    luaL_pushresult(&out);
    lua_pushnumber(L, static_cast<double>(n));
    return 2;
}

} // namespace starloom
