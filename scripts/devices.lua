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
-- facts.interfaces, .endpoints, .layouts and .entities, each by a key of
-- address and numbers.
local facts

local function reset()
  nextRow, version = 0, rowsVersion
  facts = { interfaces = {}, endpoints = {}, layouts = {}, entities = {} }
end

local function remember(kind, key, entry)
  local list = facts[kind]
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
      remember("interfaces", addr .. "." .. iface, { row = row, class = class })
    elseif typ == 0x05 and d[pos + 2] and iface then
      remember("endpoints", addr .. "." .. d[pos + 2], { row = row, iface = iface, class = class })
    elseif typ == 0x24 and class == 0x01 and sub == 0x01 and d[pos + 2] ~= 0x01 and d[pos + 3] then
      remember("entities", addr .. "." .. iface .. "." .. d[pos + 3], { row = row, subtype = d[pos + 2] })
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
    remember("layouts", addr .. "." .. s[5], { row = n.handle, layout = hidreport.parse(info.data) })
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

-- Field `field` of the last fact of that kind and key read before row, or nil.
local function latest(kind, key, row, field)
  scanTo(row)
  local l = facts[kind][key]
  if not l then return nil end
  for i = #l, 1, -1 do
    if l[i].row < row then return l[i][field] end
  end
  return nil
end

-- The class of interface iface of device addr at row, or nil.
function M.interfaceClass(addr, iface, row)
  return latest("interfaces", addr .. "." .. iface, row, "class")
end

-- The interface that owns endpoint epAddr (with its direction bit) of device
-- addr at row, and that interface's class; nil when unknown.
function M.endpointOwner(addr, epAddr, row)
  local key = addr .. "." .. epAddr
  return latest("endpoints", key, row, "iface"), latest("endpoints", key, row, "class")
end

-- The HID report layout of interface iface of device addr read before row, or nil.
function M.reportLayout(addr, iface, row)
  return latest("layouts", addr .. "." .. iface, row, "layout")
end

-- The descriptor subtype of unit or terminal `entity` of audio control
-- interface iface of device addr, read before row, or nil.
function M.audioEntity(addr, iface, entity, row)
  return latest("entities", addr .. "." .. iface .. "." .. entity, row, "subtype")
end

return M
