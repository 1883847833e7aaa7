-- For the program's devices pane: what the standard enumeration requests
-- taught about each device. The program walks the rows itself (addresses,
-- resets, endpoints in the traffic) and hands over only the control
-- transfers, so this runs once per capture over a small part of it.

local bytes = require "lib.bytes"
local tree = require "lib.tree"
local descriptors = require "descriptors"

local transferTypes = { [0] = "control", "isochronous", "bulk", "interrupt" }

local function className(class)
  return descriptors.classNames[class] or "unknown"
end

-- A device descriptor, whole or the first 8 bytes a host reads at address 0.
local function deviceFacts(d)
  local f = { kind = "device", length = #d, maxPacket0 = d[8], class = d[5], subclass = d[6], protocol = d[7],
    className = className(d[5]) }
  if #d >= 12 then f.vendor, f.product = bytes.le(d, 9, 2), bytes.le(d, 11, 2) end
  if #d >= 17 then f.manufacturerIndex, f.productIndex, f.serialIndex = d[15], d[16], d[17] end
  return f
end

-- A configuration set: its interfaces (each alternate setting apart) with their endpoints.
local function configurationFacts(d)
  local f = { kind = "configuration", length = #d, value = d[6], nameIndex = d[7], interfaces = {} }
  local pos, iface = 1, nil
  while pos + 1 <= #d and d[pos] >= 2 do
    local typ = d[pos + 1]
    if typ == 0x04 and d[pos + 8] then
      iface = { number = d[pos + 2], alternate = d[pos + 3], class = d[pos + 5], subclass = d[pos + 6],
        protocol = d[pos + 7], className = className(d[pos + 5]), nameIndex = d[pos + 8], endpoints = {} }
      f.interfaces[#f.interfaces + 1] = iface
    elseif typ == 0x05 and d[pos + 5] and iface then
      local attributes = d[pos + 3]
      iface.endpoints[#iface.endpoints + 1] = { address = d[pos + 2], type = attributes & 3,
        typeName = transferTypes[attributes & 3], maxPacket = bytes.le(d, pos + 4, 2) & 0x7FF }
    end
    pos = pos + d[pos]
  end
  return f
end

-- The standard requests that teach something: GET_DESCRIPTOR of the device,
-- a configuration or a string, and SET_CONFIGURATION.
local function teaches(s)
  return s and #s == 8 and ((s[1] == 0x80 and s[2] == 6 and s[4] >= 1 and s[4] <= 3) or (s[1] == 0 and s[2] == 9))
end

-- The SETUP bytes of transfer n, from its first transaction alone: most
-- control transfers are other requests, not worth reading whole.
local function setupOf(n)
  local first = n and n.children and tree.node(n.children[1])
  if not first or first.subType ~= "SETUP" then return nil end
  local _, data = tree.packets(first)
  return data and data.data
end

-- What one transfer taught, or nil.
local function factsOf(row)
  local n = tree.node(row)
  if not teaches(setupOf(n)) then return nil end
  local info = tree.transfer(row, n)
  local s = info and info.setup
  if not s then return nil end
  local d, f = info.data, nil
  if s[1] == 0x80 and s[2] == 6 then
    if s[4] == 1 and #d >= 8 then
      f = deviceFacts(d)
    elseif s[4] == 2 and #d >= 9 then
      f = configurationFacts(d)
    elseif s[4] == 3 and s[3] ~= 0 and #d >= 2 and d[2] == 3 then
      f = { kind = "string", index = s[3], text = (bytes.utf16le(d, 3, math.min(d[1], #d))) }
    end
  elseif s[1] == 0x00 and s[2] == 9 and info.complete then
    f = { kind = "configured", value = s[3] }
  end
  if f then f.addr, f.row = tree.address(info.setupTrx), row end
  return f
end

-- rows: the control transfers' rows in order. One entry per answer that
-- teaches something: { kind, addr, row, ... } with kind "device" (ids, class,
-- string indexes), "configuration" (interfaces and endpoints; length, like a
-- device's, the bytes read, as hosts read both in part first), "string"
-- (index, text) or "configured" (the configuration value set).
function learnedDevices(rows)
  local out = {}
  for _, row in ipairs(rows) do
    local f = factsOf(row)
    if f and f.addr then out[#out + 1] = f end
  end
  return out
end
