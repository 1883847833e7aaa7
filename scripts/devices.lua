-- What the capture says about each device address, read once from its start:
-- which interface owns an endpoint, its class, and the HID report layouts.
-- A report is decoded with the layout read last before it.

local tree = require "lib.tree"
local hidreport = require "classes.hidreport"

local M = {}

-- Scan state: the next top-level row to read, and per address the facts in
-- the order they were read, each { row, ... }. A new row list (rowsVersion)
-- starts again.
local nextRow, version
local endpoints, layouts, entities

local function reset()
  nextRow, version = 0, rowsVersion
  endpoints, layouts, entities = {}, {}, {}
end

local function remember(list, key, entry)
  list[key] = list[key] or {}
  local l = list[key]
  l[#l + 1] = entry
end

-- Interfaces and endpoints of a configuration descriptor set, and the
-- units and terminals of audio control interfaces.
local function readConfiguration(addr, row, d)
  local pos, iface, class, sub = 1, nil, nil, nil
  while pos + 1 <= #d and d[pos] >= 2 do
    local typ = d[pos + 1]
    if typ == 0x04 and d[pos + 6] then
      iface, class, sub = d[pos + 2], d[pos + 5], d[pos + 6]
    elseif typ == 0x05 and d[pos + 2] and iface then
      remember(endpoints, addr .. "." .. d[pos + 2], { row = row, iface = iface, class = class })
    elseif typ == 0x24 and class == 0x01 and sub == 0x01 and d[pos + 2] ~= 0x01 and d[pos + 3] then
      remember(entities, addr .. "." .. iface .. "." .. d[pos + 3], { row = row, subtype = d[pos + 2] })
    end
    pos = pos + d[pos]
  end
end

local function readRoot(n)
  if n.type ~= "transfer" then return end
  local info = tree.transfer(n.handle, n)
  local s = info.setup
  if not s or s[2] ~= 6 or (s[1] & 0x80) == 0 then return end
  local addr = tree.address(info.setupTrx)
  if s[4] == 0x02 and s[1] == 0x80 then
    readConfiguration(addr, n.handle, info.data)
  elseif s[4] == 0x22 and s[1] == 0x81 and #info.data > 0 then
    remember(layouts, addr .. "." .. s[5], { row = n.handle, layout = hidreport.parse(info.data) })
  end
end

-- Reads top-level rows up to `row`. Progress is kept as it goes, so a scan
-- cut short by the instruction budget resumes where it stopped.
local function scanTo(row)
  if version ~= rowsVersion or not nextRow then reset() end
  while nextRow <= row do
    local n = tree.node(nextRow)
    if not n then
      nextRow = math.huge
      return
    end
    readRoot(n)
    local after = tree.nextRoot(n)
    nextRow = after and after.handle or math.huge
  end
end

-- The last entry of list[key] read before row.
local function lastBefore(list, key, row)
  local l = list[key]
  if not l then return nil end
  for i = #l, 1, -1 do
    if l[i].row < row then return l[i] end
  end
  return nil
end

-- The interface that owns endpoint epAddr (with its direction bit) of device
-- addr at row: { iface, class } or nil.
function M.endpointOwner(addr, epAddr, row)
  scanTo(row)
  return lastBefore(endpoints, addr .. "." .. epAddr, row)
end

-- The HID report layout of interface iface of device addr read before row, or nil.
function M.reportLayout(addr, iface, row)
  scanTo(row)
  local e = lastBefore(layouts, addr .. "." .. iface, row)
  return e and e.layout
end

-- The descriptor subtype of unit or terminal `entity` of audio control
-- interface iface of device addr, read before row, or nil.
function M.audioEntity(addr, iface, entity, row)
  scanTo(row)
  local e = lastBefore(entities, addr .. "." .. iface .. "." .. entity, row)
  return e and e.subtype
end

return M
