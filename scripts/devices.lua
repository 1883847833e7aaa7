-- What is known about each device address: which interface owns an
-- endpoint, its class, the HID report layouts, audio entities, serial chips.
--
-- It comes from the device's enumeration in the capture, read once from the
-- capture's start as far as the row asked about; a report is decoded with
-- the layout read last before it. A capture started after the enumeration
-- has none: then the answers come from outside it (externalDevices, see
-- init.lua) in this order: what the user says about the address, the
-- descriptors remembered for the device's vendor and product id, an "lsusb
-- -v" text. Failing those, from what the traffic itself proves (the clues of
-- lib/registry.lua), and the decode texts say so.

local bytes = require "lib.bytes"
local tree = require "lib.tree"
local registry = require "lib.registry"
local hidreport = require "classes.hidreport"

local M = {}

-- Scan state: the next top-level row to read, and the facts read so far:
-- facts[kind][key] lists entries { row = ..., ... } in row order. A new row
-- list or new external descriptors (rowsVersion) start again.
local nextRow, version, facts
-- By address, what came from outside the capture, for the ids it was found by.
local outsideViews

local function reset()
  nextRow, version = 0, rowsVersion
  facts, outsideViews = {}, {}
end

local function remember(store, kind, key, entry)
  local list = store[kind]
  if not list then
    list = {}
    store[kind] = list
  end
  local l = list[key]
  if not l then
    l = {}
    list[key] = l
  end
  l[#l + 1] = entry
end

-- Field `field` of the last entry of that kind and key in store before row, or nil.
local function latestIn(store, kind, key, row, field)
  local l = store[kind] and store[kind][key]
  if not l then return nil end
  for i = #l, 1, -1 do
    if l[i].row < row then return l[i][field] end
  end
  return nil
end

-- Interfaces and endpoints of a configuration descriptor set, the units and
-- terminals of audio control interfaces and DFU functional descriptors.
local function readConfiguration(store, addr, row, d)
  local pos, iface, class, sub = 1, nil, nil, nil
  while pos + 1 <= #d and d[pos] >= 2 do
    local typ = d[pos + 1]
    if typ == 0x04 and d[pos + 6] then
      iface, class, sub = d[pos + 2], d[pos + 5], d[pos + 6]
      remember(store, "interfaces", addr .. "." .. iface, { row = row, class = class })
    elseif typ == 0x05 and d[pos + 3] and iface then
      remember(store, "endpoints", addr .. "." .. d[pos + 2],
        { row = row, iface = iface, class = class, type = d[pos + 3] & 3 })
    elseif typ == 0x24 and class == 0x01 and sub == 0x01 and d[pos + 2] ~= 0x01 and d[pos + 3] then
      remember(store, "entities", addr .. "." .. iface .. "." .. d[pos + 3], { row = row, subtype = d[pos + 2] })
    elseif typ == 0x21 and class == 0xFE and sub == 0x01 and d[pos + 8] then
      remember(store, "dfu", addr, { row = row, functional = { attributes = d[pos + 2],
        detachTimeout = bytes.le(d, pos + 3, 2), transferSize = bytes.le(d, pos + 5, 2), version = bytes.le(d, pos + 7, 2) } })
    end
    pos = pos + d[pos]
  end
end

local function idsOf(d)
  if not d or #d < 12 then return nil end
  return bytes.le(d, 9, 2) << 16 | bytes.le(d, 11, 2)
end

-- A keeper of clue facts for one address and row: the first clue of each
-- class or chip is enough.
local function keeper(addr, row)
  return function(kind, entry)
    entry.row = row
    if kind == "clue" then
      for _, e in ipairs(facts.clue and facts.clue[addr] or {}) do
        if e.class == entry.class and e.chip == entry.chip then return end
      end
    end
    remember(facts, kind, addr, entry)
  end
end

local function readTransfer(n)
  local info = tree.transfer(n.handle, n)
  local s = info.setup
  if not s then return end
  local addr = tree.address(info.setupTrx)
  if s[2] == 6 and s[1] == 0x80 and s[4] == 0x01 and #info.data >= 12 then
    remember(facts, "devices", addr, { row = n.handle, bytes = info.data })
  elseif s[2] == 6 and s[1] == 0x80 and s[4] == 0x02 then
    readConfiguration(facts, addr, n.handle, info.data)
    if #info.data > 9 and #info.data >= bytes.le(info.data, 3, 2) then
      remember(facts, "configurations", addr, { row = n.handle, bytes = info.data })
    end
  elseif s[2] == 6 and s[1] == 0x81 and s[4] == 0x22 and #info.data > 0 then
    remember(facts, "layouts", addr .. "." .. s[5], { row = n.handle, layout = hidreport.parse(info.data) })
    remember(facts, "reports", addr, { row = n.handle, iface = s[5], bytes = info.data })
  else
    for _, clue in ipairs(registry.transferClues) do clue(info, addr, keeper(addr, n.handle)) end
  end
end

local function readRoot(n)
  if n.type == "transfer" then
    readTransfer(n)
  elseif n.type == "transaction" and n.subType == "OUT" and #registry.acknowledgedOutClues > 0 then
    local token, data = tree.packets(n)
    if token and data and #data.data > 0 and tree.acked(n) then
      for _, clue in ipairs(registry.acknowledgedOutClues) do
        clue(data.data, n, token.addr, keeper(token.addr, n.handle))
      end
    end
  end
end

-- Reads top-level rows up to `row`. Progress is kept as it goes, so a scan
-- cut short by the time budget resumes where it stopped.
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

local function latest(kind, key, row, field)
  scanTo(row)
  return latestIn(facts, kind, key, row, field)
end

-- Field `field` of the last fact of that kind for address addr read before
-- row (facts kept by the clues), or nil.
function M.fact(kind, addr, row, field)
  return latest(kind, addr, row, field)
end

-- The first clue about addr before row that has `field`, or nil.
local function clue(addr, row, field)
  scanTo(row)
  for _, c in ipairs(facts.clue and facts.clue[addr] or {}) do
    if c.row < row and c[field] then return c end
  end
  return nil
end

local function external() return type(externalDevices) == "table" and externalDevices or {} end

-- The vendor << 16 | product id of device addr at row and where it was
-- read, or nil: its device descriptor in the capture, a hint, a listed text.
function M.ids(addr, row)
  local d = latest("devices", addr, row, "bytes")
  if d then return idsOf(d), "the device descriptor in row " .. latest("devices", addr, row, "row") end
  local hint = (external().hints or {})[addr]
  if hint and hint.vendor and hint.product then return hint.vendor << 16 | hint.product, hint.source end
  if hint and hint.descriptors and idsOf(hint.descriptors.device) then
    return idsOf(hint.descriptors.device), hint.descriptors.source
  end
  local listed = (external().listed or {})[addr]
  if listed and idsOf(listed.device) then return idsOf(listed.device), listed.source end
  return nil
end

local function readSet(addr, set)
  local store = {}
  readConfiguration(store, addr, -1, set.configuration or {})
  for iface, report in pairs(set.reports or {}) do
    if #report > 0 then remember(store, "layouts", addr .. "." .. iface, { row = -1, layout = hidreport.parse(report) }) end
  end
  return store
end

-- What comes from outside the capture about device addr at row:
-- { store = facts read from a descriptor set, or class and subclass of a
-- hint; source = where from }, or nil.
local function outside(addr, row)
  local ext = external()
  local hint = (ext.hints or {})[addr]
  local id = M.ids(addr, row)
  local cached = outsideViews[addr]
  if cached and cached.id == (id or false) then return cached.view or nil end
  local set, view
  if hint and hint.descriptors then
    set = hint.descriptors
  elseif hint and hint.class then
    view = { class = hint.class, subclass = hint.subclass, source = hint.source }
  elseif id and ext.remembered and ext.remembered[id] then
    set = ext.remembered[id]
  else
    set = (ext.listed or {})[addr]
  end
  if set then view = { store = readSet(addr, set), source = set.source } end
  outsideViews[addr] = { id = id or false, view = view or false }
  return view
end

-- The facts to read device addr by at row: the capture's when it read the
-- device's configuration before row, else those of a descriptor set from
-- outside. The second result is the view from outside, if any.
local function storeFor(addr, row)
  if latest("configurations", addr, row, "row") then return facts end
  local view = outside(addr, row)
  return view and view.store, view
end

-- The class of interface iface of device addr at row, or nil.
function M.interfaceClass(addr, iface, row)
  local store, view = storeFor(addr, row)
  if store then return latestIn(store, "interfaces", addr .. "." .. iface, row, "class") end
  if view then return view.class end
  local c = clue(addr, row, "class")
  return c and c.class
end

-- The interface that owns endpoint epAddr (with its direction bit) of device
-- addr at row, and that interface's class; nil when unknown. A class known
-- only for the whole device (a hint, or inferred) comes without an interface.
function M.endpointOwner(addr, epAddr, row)
  local store, view = storeFor(addr, row)
  local key = addr .. "." .. epAddr
  if store then return latestIn(store, "endpoints", key, row, "iface"), latestIn(store, "endpoints", key, row, "class") end
  if view then return nil, view.class end
  local c = clue(addr, row, "class")
  return nil, c and c.class
end

-- The transfer type of endpoint epAddr (0 control, 1 isochronous, 2 bulk,
-- 3 interrupt), or nil when no descriptor says.
function M.endpointType(addr, epAddr, row)
  local store = storeFor(addr, row)
  return store and latestIn(store, "endpoints", addr .. "." .. epAddr, row, "type")
end

-- The HID report layout of interface iface of device addr read before row,
-- else one from outside the capture; nil when neither has one.
function M.reportLayout(addr, iface, row)
  local key = addr .. "." .. iface
  local layout = latest("layouts", key, row, "layout")
  if layout then return layout end
  local _, view = storeFor(addr, row)
  return view and view.store and latestIn(view.store, "layouts", key, row, "layout")
end

-- The descriptor subtype of unit or terminal `entity` of audio control
-- interface iface of device addr, read before row, or nil.
function M.audioEntity(addr, iface, entity, row)
  local store = storeFor(addr, row)
  return store and latestIn(store, "entities", addr .. "." .. iface .. "." .. entity, row, "subtype")
end

-- The DFU functional descriptor of device addr at row ({ attributes,
-- detachTimeout, transferSize, version }), or nil.
function M.dfuFunctional(addr, row)
  local store = storeFor(addr, row)
  return store and latestIn(store, "dfu", addr, row, "functional")
end

-- The serial chip at addr (an entry of registry.chips), its model when its
-- ids name one, and how it was identified; nil when it is none known. The
-- vendor request of row itself counts, so that the first one is named.
function M.chip(addr, row)
  local id, where = M.ids(addr, row)
  if id then
    for _, chip in ipairs(registry.chips) do
      local model = chip.models[id]
      if model then
        local name = model == chip.name and model or string.format("%s (%s family)", model, chip.name)
        return chip, model, string.format("%s, by its vendor and product id %04X:%04X (%s)", name, id >> 16,
          id & 0xFFFF, where)
      end
    end
  end
  local c = clue(addr, row + 1, "chip")
  if c then return c.chip, nil, string.format("%s, inferred from its traffic: %s", c.chip.name, c.why) end
  return nil
end

-- Where what is known of device addr at row comes from, as a sentence; nil
-- when from its enumeration in the capture, or when nothing is known.
function M.origin(addr, row)
  if latest("configurations", addr, row, "row") then return nil end
  local view = outside(addr, row)
  if view then
    return string.format("Device %d is not enumerated in the capture: its %s from %s.", addr,
      view.store and "descriptors come" or "class comes", view.source)
  end
  local c = clue(addr, row, "class") or clue(addr, row, "chip")
  if c then
    return string.format("Device %d is not enumerated in the capture: inferred from its traffic, %s.", addr, c.why)
  end
  return nil
end

-- For the program (TluaState::capturedDevices): the descriptor sets the
-- capture holds, per device that gave its device descriptor and a whole
-- configuration after it, with the HID report descriptors read after that.
function capturedDevices()
  scanTo(math.huge)
  local sets = {}
  for addr, list in pairs(facts.devices or {}) do
    local dev = list[#list]
    local configs = facts.configurations and facts.configurations[addr]
    local config = configs and configs[#configs]
    if addr ~= 0 and #dev.bytes >= 18 and config and config.row > dev.row then
      local set = { device = bytes.slice(dev.bytes, 1, 18), configuration = config.bytes, reports = {} }
      for _, r in ipairs(facts.reports and facts.reports[addr] or {}) do
        if r.row > config.row then set.reports[r.iface] = r.bytes end
      end
      sets[#sets + 1] = set
    end
  end
  return sets
end

return M
