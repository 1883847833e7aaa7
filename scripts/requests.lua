-- Control requests: the 8-byte SETUP packet (USB 2.0 section 9.3), the
-- standard requests (section 9.4) and the hand-over to class requests.
--
-- A request entry describes one bRequest:
--   name                      request name
--   nameOf(req)               request name when it depends on the direction (optional)
--   dir                       1 device-to-host, 0 host-to-device (class requests)
--   value(req), index(req)    meaning of wValue / wIndex (optional)
--   data(doc, req, bytes)     decoder of the data stage (optional)

local bytes = require "lib.bytes"
local markup = require "lib.markup"
local registry = require "lib.registry"
local descriptors = require "descriptors"
local strings = require "strings"
local devices = require "devices"

local R = {}

local directions = { [0] = "host-to-device", [1] = "device-to-host" }
local kinds = { [0] = "Standard", "Class", "Vendor", "Reserved" }
local recipients = { [0] = "Device", "Interface", "Endpoint", "Other" }

local features = { [0] = "ENDPOINT_HALT", "DEVICE_REMOTE_WAKEUP", "TEST_MODE" }

local function feature(req)
  return string.format("%s (%d)", features[req.wValue] or "unknown feature", req.wValue)
end

-- wIndex when the recipient is an interface or an endpoint.
local function target(req)
  if req.recipient == 1 then return string.format("interface %d", req.wIndex & 0xFF) end
  if req.recipient == 2 then return "endpoint " .. descriptors.endpointAddress(req.wIndex & 0xFF) end
  return tostring(req.wIndex)
end

local function descriptorValue(req)
  local typ, index = req.wValue >> 8, req.wValue & 0xFF
  return string.format("%s descriptor, index %d", descriptors.typeName(typ), index)
end

local function descriptorIndex(req)
  if req.wValue >> 8 == 3 and (req.wValue & 0xFF) ~= 0 then
    return "language " .. descriptors.language(req.wIndex)
  end
  if req.recipient == 1 then return target(req) end
  return tostring(req.wIndex)
end

local function descriptorData(doc, req, d)
  local typ = req.wValue >> 8
  local decoder = registry.descriptorStages[typ]
  if decoder then return decoder(doc, req, d) end
  descriptors.walk(doc, d, {
    stringIndex = typ == 3 and (req.wValue & 0xFF) or nil,
    requested = req.wLength,
    strings = function(index) return strings.lookup(req.addr, index, req.row) end,
  })
end

local function statusData(doc, req, d)
  local v = bytes.le(d, 1, 2)
  if not v then return end
  local t = doc:table("Status")
  if req.recipient == 0 then
    t:row("Self-powered", (v & 1) ~= 0 and "yes" or "no")
    t:row("Remote wakeup", (v & 2) ~= 0 and "enabled" or "disabled")
  elseif req.recipient == 2 then
    t:row("Halt", (v & 1) ~= 0 and "halted" or "not halted")
  else
    t:row("Status", bytes.hex4(v))
  end
end

local function oneByte(label)
  return function(doc, _, d)
    if d[1] then doc:table("Returned"):row(label, d[1]) end
  end
end

R.standard = {
  [0x00] = { name = "GET_STATUS", index = target, data = statusData },
  [0x01] = { name = "CLEAR_FEATURE", value = feature, index = target },
  [0x03] = { name = "SET_FEATURE", value = feature, index = target },
  [0x05] = { name = "SET_ADDRESS", value = function(req) return "device address " .. req.wValue end },
  [0x06] = { name = "GET_DESCRIPTOR", value = descriptorValue, index = descriptorIndex, data = descriptorData },
  [0x07] = { name = "SET_DESCRIPTOR", value = descriptorValue, index = descriptorIndex, data = descriptorData },
  [0x08] = { name = "GET_CONFIGURATION", data = oneByte("bConfigurationValue") },
  [0x09] = { name = "SET_CONFIGURATION", value = function(req)
      return req.wValue == 0 and "0 (back to the addressed state)" or "configuration " .. (req.wValue & 0xFF)
    end },
  [0x0A] = { name = "GET_INTERFACE", index = target, data = oneByte("bAlternateSetting") },
  [0x0B] = { name = "SET_INTERFACE", value = function(req) return "alternate setting " .. req.wValue end,
    index = target },
  [0x0C] = { name = "SYNCH_FRAME", index = target, data = function(doc, _, d)
      local v = bytes.le(d, 1, 2)
      if v then doc:table("Returned"):row("Frame number", v) end
    end },
}

-- The entry when it is for the request's direction.
local function directed(e, req)
  if e and (e.dir == nil or e.dir == req.dir) then return e end
  return nil
end

-- Class entries that fit the request's bRequest and direction.
local function candidates(req)
  local codes, list = {}, {}
  for code in pairs(registry.classRequests) do codes[#codes + 1] = code end
  table.sort(codes)
  for _, code in ipairs(codes) do
    local set = registry.classRequests[code]
    local e = directed(set[req.bRequest], req)
    if e then list[#list + 1] = { entry = e, class = set.name, code = code } end
  end
  return list
end

-- The entry for a class request and the name of its class. When several
-- classes use the same bRequest, the class of the addressed interface decides;
-- if that is unknown, all readings are named.
local function classEntry(req)
  local list = candidates(req)
  if #list <= 1 then return list[1] and list[1].entry, list[1] and list[1].class end
  if req.recipient == 1 and req.addr and req.row then
    local class = devices.interfaceClass(req.addr, req.wIndex & 0xFF, req.row)
    for _, c in ipairs(list) do
      if c.code == class then return c.entry, c.class end
    end
  end
  local names = {}
  for i, c in ipairs(list) do names[i] = c.class .. " " .. c.entry.name end
  return { name = table.concat(names, " or ") }, nil
end

-- Parses 8 setup bytes. `addr` and `row` (optional) let class requests find
-- the interface they address, and vendor requests the serial chip (req.chip).
function R.parse(s, addr, row)
  local req = {
    bmRequestType = s[1], bRequest = s[2],
    wValue = bytes.le(s, 3, 2), wIndex = bytes.le(s, 5, 2), wLength = bytes.le(s, 7, 2),
    dir = s[1] >> 7, kind = (s[1] >> 5) & 3, recipient = s[1] & 0x1F,
    addr = addr, row = row,
  }
  local chip, model, how
  if (req.kind == 1 or req.kind == 2) and addr and row then chip, model, how = devices.chip(addr, row) end
  local chipSet = chip and (req.kind == 2 and chip.requests or chip.classRequests)
  if req.kind == 0 then
    req.entry = R.standard[req.bRequest]
  elseif chipSet then
    req.entry, req.class = directed(chipSet[req.bRequest], req), chip.name
    req.chip, req.chipModel, req.chipHow = chip, model, how
  elseif req.kind == 1 then
    req.entry, req.class = classEntry(req)
  end
  local name = req.entry and (req.entry.nameOf and req.entry.nameOf(req) or req.entry.name)
  if not name then
    name = string.format("%s request 0x%02X", kinds[req.kind], req.bRequest)
  elseif req.class then
    name = req.class .. " " .. name
  end
  req.name = name
  return req
end

-- One line: request name and what wValue says.
function R.summary(req)
  local e = req.entry
  if e and e.value then return string.format("%s (%s)", req.name, e.value(req)) end
  return req.name
end

-- The SETUP fields, one row each.
function R.setupTable(doc, req)
  local t = doc:table("Setup: " .. req.name)
  local recipient = recipients[req.recipient] or "Reserved"
  t:row("bmRequestType", string.format("0x%02X (%s, %s, %s)", req.bmRequestType, directions[req.dir],
    kinds[req.kind], recipient))
  t:row("bRequest", string.format("0x%02X (%s)", req.bRequest, req.name))
  local e = req.entry or {}
  t:row("wValue", bytes.hex4(req.wValue) .. (e.value and " (" .. e.value(req) .. ")" or ""))
  t:row("wIndex", bytes.hex4(req.wIndex) .. (e.index and " (" .. e.index(req) .. ")" or ""))
  local stage = req.wLength == 0 and "no data stage" or
    string.format("at most %d bytes %s", req.wLength, req.dir == 1 and "to the host" or "to the device")
  t:row("wLength", string.format("%d (%s)", req.wLength, stage))
  return t
end

-- Decodes a data stage with the request's decoder, else as raw bytes. Every
-- row of a transfer shows its data stage, so the decode is kept with the
-- request (cached with its transfer) and made once.
function R.decodeData(doc, req, d)
  if #d == 0 then return end
  if not req.dataDoc then
    -- Kept only once whole: a decode stopped half way is made again next time.
    local part = markup.new()
    local e = req.entry
    if e and e.data then
      e.data(part, req, d)
    else
      part:hexdump(string.format("Data stage (%d bytes)", #d), d)
    end
    req.dataDoc = part
  end
  doc:append(req.dataDoc)
end

return R
