-- Runs a level file as the game does (the main chunk, then DetermChunk and NonDetermChunk) with a
-- recording stub for every game function, and prints what the game sees, one line each:
--   G <name> <value>            the globals levelDesc, maxPlayers and player (when set)
--   C <chunk> <name>(<args>)    every call of a game function, in order
-- Values are printed canonically (numbers with 17 digits, strings quoted, table keys sorted), so
-- two files that the game sees alike print the same lines.
--   lua5.4 level_calls.lua FILE
local chunk = "main"
local out = {}

local function ser(v)
  local t = type(v)
  if t == "number" then
    if v == math.floor(v) and math.abs(v) < 2^53 then return string.format("%d", v) end
    return string.format("%.17g", v)
  elseif t == "string" then
    return string.format("%q", v)
  elseif t == "table" then
    local keys = {}
    for k in pairs(v) do keys[#keys + 1] = k end
    table.sort(keys, function(a, b)
      if type(a) ~= type(b) then return type(a) < type(b) end
      return a < b
    end)
    local parts = {}
    for _, k in ipairs(keys) do parts[#parts + 1] = "[" .. ser(k) .. "]=" .. ser(v[k]) end
    return "{" .. table.concat(parts, ",") .. "}"
  end
  return tostring(v)
end

local function isGame(name)
  for _, p in ipairs({"add", "set", "fog", "create", "load"}) do
    if name:sub(1, #p) == p and name:sub(#p + 1, #p + 1):match("%u") then return true end
  end
  return false
end

setmetatable(_G, {__index = function(_, name)
  if type(name) == "string" and isGame(name) then
    return function(...)
      local args = table.pack(...)
      local parts = {}
      for i = 1, args.n do parts[i] = ser(args[i]) end
      out[#out + 1] = "C " .. chunk .. " " .. name .. "(" .. table.concat(parts, ", ") .. ")"
    end
  end
end})

local f = assert(loadfile(arg[1]))
f()
for _, g in ipairs({"levelDesc", "maxPlayers", "player"}) do
  local v = rawget(_G, g)
  if v ~= nil then out[#out + 1] = "G " .. g .. " " .. ser(v) end
end
for _, c in ipairs({"DetermChunk", "NonDetermChunk"}) do
  chunk = c
  local fn = rawget(_G, c)
  if fn then fn() end
end
io.write(table.concat(out, "\n"), "\n")
