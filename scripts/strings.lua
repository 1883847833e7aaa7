-- String descriptors the capture holds, so that a descriptor field naming a
-- string index (iManufacturer, iProduct, iInterface, ...) can show the string.

local tree = require "lib.tree"
local bytes = require "lib.bytes"

local S = {}

-- Top-level rows searched on each side of the request; an enumeration reads
-- its strings well within that. A bus reset ends the search: after it the
-- address may belong to another device.
local WINDOW = 500

-- The strings found near a row, by address and row; a new row list
-- (rowsVersion) empties it.
local MEMO_SIZE = 64
local memo, memoCount, memoVersion = {}, 0, nil

-- Index and text of the string descriptor that transfer n read from addr, or nil.
local function stringRead(n, addr)
  if n.type ~= "transfer" then return nil end
  local info = tree.transfer(n.handle, n)
  local s = info.setup
  if not s or s[1] ~= 0x80 or s[2] ~= 6 or s[4] ~= 3 or s[3] == 0 then return nil end
  if tree.address(info.setupTrx) ~= addr then return nil end
  local d = info.data
  if #d < 2 or d[2] ~= 3 then return nil end
  return s[3], (bytes.utf16le(d, 3, math.min(d[1], #d)))
end

-- Walks roots from n with step until WINDOW roots or a reset; records the
-- fullest string of each index.
local function collect(found, n, step, addr)
  for _ = 1, WINDOW do
    if not n or n.type == "reset" then return end
    local index, text = stringRead(n, addr)
    -- A host often reads the 2-byte header first: keep the fullest read.
    if index and #text > #(found[index] or "") then found[index] = text end
    n = step(n)
  end
end

local function stringsNear(addr, row)
  if memoVersion ~= rowsVersion then memo, memoCount, memoVersion = {}, 0, rowsVersion end
  local key = addr .. ":" .. row
  if memo[key] then return memo[key] end
  local found = {}
  local root = tree.node(row)
  while root and root.parent ~= -1 do root = tree.node(root.parent) end
  if root then
    collect(found, root, tree.nextRoot, addr)
    collect(found, tree.previousRoot(root.handle), function(n) return tree.previousRoot(n.handle) end, addr)
  end
  if memoCount >= MEMO_SIZE then memo, memoCount = {}, 0 end
  memo[key], memoCount = found, memoCount + 1
  return found
end

-- The text of string `index` of device `addr` read near `row`, or nil.
function S.lookup(addr, index, row)
  if not addr or not row or index == 0 then return nil end
  return stringsNear(addr, row)[index]
end

return S
