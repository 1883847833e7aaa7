-- Communications Device Class (CDC 1.2) with the Abstract Control Model of
-- PSTN120 (virtual serial ports): functional descriptors and class requests.

local bytes = require "lib.bytes"
local tree = require "lib.tree"
local registry = require "lib.registry"
local descriptors = require "descriptors"
local devices = require "devices"
local serial = require "classes.serial"

local CDC, CDC_DATA = 0x02, 0x0A
local F = descriptors.formats

local subtypes = {
  [0x00] = "Header", [0x01] = "Call Management", [0x02] = "Abstract Control Management",
  [0x03] = "Direct Line Management", [0x04] = "Telephone Ringer",
  [0x05] = "Telephone Call and Line State Reporting", [0x06] = "Union", [0x07] = "Country Selection",
  [0x08] = "Telephone Operational Modes", [0x09] = "USB Terminal", [0x0A] = "Network Channel Terminal",
  [0x0B] = "Protocol Unit", [0x0C] = "Extension Unit", [0x0D] = "Multi-Channel Management",
  [0x0E] = "CAPI Control Management", [0x0F] = "Ethernet Networking", [0x10] = "ATM Networking",
  [0x1A] = "NCM", [0x1B] = "MBIM",
}

local fieldsBySubtype = {
  [0x00] = { { "bcdCDC", 2, F.bcd } },
  [0x01] = {
    { "bmCapabilities", 1, function(v)
        return bytes.bits(v, { "device handles call management itself", "call management over the data interface" })
      end },
    { "bDataInterface", 1, F.num },
  },
  [0x02] = {
    { "bmCapabilities", 1, function(v)
        return bytes.bits(v, { "Comm_Feature requests", "line coding and serial state", "Send_Break",
          "Network_Connection" })
      end },
  },
  [0x06] = { { "bControlInterface", 1, F.num } },
}

-- Class-specific interface descriptors (0x24) after a CDC interface.
local function functional(doc, d, pos, last)
  if d[pos + 1] ~= 0x24 then return false end
  local sub = d[pos + 2]
  local name = sub and (subtypes[sub] or string.format("subtype 0x%02X", sub)) or "functional"
  local list = {
    { "bFunctionLength", 1, F.len }, { "bDescriptorType", 1, F.type },
    { "bDescriptorSubtype", 1, function(v) return string.format("0x%02X (%s)", v, name) end },
  }
  for _, f in ipairs(fieldsBySubtype[sub] or {}) do list[#list + 1] = f end
  local t, used, complete = descriptors.fields(doc, "CDC " .. name .. " functional descriptor", d, pos, last, list)
  if not complete then return true end
  local rest = pos + used
  if sub == 0x06 then
    for p = rest, last do t:row("bSubordinateInterface" .. (p - rest), d[p]) end
  elseif rest <= last then
    t:row("Data", bytes.hexList(d, rest, last))
  end
  return true
end

local parities = { [0] = "None", "Odd", "Even", "Mark", "Space" }
local stopBits = { [0] = "1", "1.5", "2" }

-- The 7-byte line coding of SET_LINE_CODING and GET_LINE_CODING.
local function lineCoding(doc, _, d)
  local t = doc:table("Line coding")
  local rate = bytes.le(d, 1, 4)
  if not rate then
    doc:para("Truncated: the line coding needs 7 bytes, %d were transferred.", #d)
    return
  end
  t:row("dwDTERate", rate .. " baud")
  if d[5] then t:row("bCharFormat", string.format("%d (%s stop bits)", d[5], stopBits[d[5]] or "reserved")) end
  if d[6] then t:row("bParityType", string.format("%d (%s parity)", d[6], parities[d[6]] or "reserved")) end
  if d[7] then t:row("bDataBits", d[7] .. " data bits") end
  if #d < 7 then doc:para("Truncated: the line coding needs 7 bytes, %d were transferred.", #d) end
  if d[7] then
    doc:para("Serial port: %d baud, %d%s%s", rate, d[7], (parities[d[6]] or "?"):sub(1, 1),
      stopBits[d[5]] or "?")
  end
end

local function iface(req) return "interface " .. (req.wIndex & 0xFF) end

local commFeatures = { [1] = "ABSTRACT_STATE", [2] = "COUNTRY_SETTING" }

registry.classRequests[CDC] = {
  name = "CDC",
  [0x00] = { name = "SEND_ENCAPSULATED_COMMAND", dir = 0, index = iface },
  [0x01] = { name = "GET_ENCAPSULATED_RESPONSE", dir = 1, index = iface },
  [0x02] = { name = "SET_COMM_FEATURE", dir = 0, value = function(req) return commFeatures[req.wValue] or "feature " .. req.wValue end,
    index = iface },
  [0x03] = { name = "GET_COMM_FEATURE", dir = 1, value = function(req) return commFeatures[req.wValue] or "feature " .. req.wValue end,
    index = iface },
  [0x04] = { name = "CLEAR_COMM_FEATURE", dir = 0, value = function(req) return commFeatures[req.wValue] or "feature " .. req.wValue end,
    index = iface },
  [0x20] = { name = "SET_LINE_CODING", dir = 0, index = iface, data = lineCoding },
  [0x21] = { name = "GET_LINE_CODING", dir = 1, index = iface, data = lineCoding },
  [0x22] = { name = "SET_CONTROL_LINE_STATE", dir = 0, index = iface, value = function(req)
      return string.format("DTR %s, RTS %s", (req.wValue & 1) ~= 0 and "on" or "off",
        (req.wValue & 2) ~= 0 and "on" or "off")
    end },
  [0x23] = { name = "SEND_BREAK", dir = 0, index = iface, value = function(req)
      if req.wValue == 0xFFFF then return "break until a SEND_BREAK of 0" end
      return req.wValue == 0 and "end the break" or req.wValue .. " ms break"
    end },
}

local notifications = {
  [0x00] = "NETWORK_CONNECTION", [0x01] = "RESPONSE_AVAILABLE", [0x08] = "AUX_JACK_HOOK_STATE",
  [0x09] = "RING_DETECT", [0x20] = "SERIAL_STATE", [0x28] = "CALL_STATE_CHANGE",
  [0x29] = "LINE_STATE_CHANGE", [0x2A] = "CONNECTION_SPEED_CHANGE",
}

local serialStateBits = {
  "bRxCarrier (DCD)", "bTxCarrier (DSR)", "bBreak", "bRingSignal", "bFraming error", "bParity error",
  "bOverRun (data lost)",
}

-- A notification on the interrupt endpoint of a communications interface
-- (CDC 1.2 section 6.3): an 8-byte header like a SETUP packet, then data.
local function notification(doc, d, trx)
  if #d < 8 or d[1] ~= 0xA1 or trx.subType ~= "IN" then return nil end
  local addr, endp = tree.address(trx)
  if not addr then return nil end
  local _, class = devices.endpointOwner(addr, endp | 0x80, trx.handle)
  if class ~= CDC then return nil end
  local name = notifications[d[2]] or string.format("notification 0x%02X", d[2])
  local value, length = bytes.le(d, 3, 2), bytes.le(d, 7, 2)
  local t = doc:table("CDC " .. name)
  t:row("bmRequestType", bytes.hex2(d[1]))
  t:row("bNotification", string.format("0x%02X (%s)", d[2], name))
  t:row("wValue", bytes.hex4(value))
  t:row("wIndex", "interface " .. bytes.le(d, 5, 2))
  t:row("wLength", length)
  local summary = "CDC " .. name
  if d[2] == 0x00 then
    t:row("Network", value == 1 and "connected" or "disconnected")
    summary = summary .. (value == 1 and ": connected" or ": disconnected")
  elseif d[2] == 0x20 and #d >= 10 then
    local state = bytes.le(d, 9, 2)
    for i, bit in ipairs(serialStateBits) do t:row(bit, (state >> (i - 1)) & 1 == 1 and "on" or "off") end
  elseif d[2] == 0x2A and #d >= 16 then
    t:row("DLBitRate (downstream)", bytes.le(d, 9, 4) .. " bit/s")
    t:row("ULBitRate (upstream)", bytes.le(d, 13, 4) .. " bit/s")
  end
  if #d ~= 8 + length then doc:para("wLength says %d data bytes, %d followed the header.", length, #d - 8) end
  return summary
end

-- Bulk data of the data interface: the serial bytes. A class known only for
-- the whole device (a hint, or a SET_LINE_CODING seen) covers every endpoint.
local function serialData(doc, d, trx)
  local addr, endp = tree.address(trx)
  if not addr or endp == 0 then return nil end
  local owner, class = devices.endpointOwner(addr, trx.subType == "IN" and (endp | 0x80) or endp, trx.handle)
  if class == CDC_DATA or (class == CDC and owner == nil) then return serial.data(doc, d, 1, trx.subType) end
  return nil
end

-- A SET_LINE_CODING proves a CDC serial port.
registry.transferClues[#registry.transferClues + 1] = function(info, _, keep)
  local s = info.setup
  if s[1] == 0x21 and s[2] == 0x20 and #info.data == 7 then
    keep("clue", { class = CDC, why = string.format("the SET_LINE_CODING to interface %d in row %d is a CDC " ..
      "serial port's request", s[5], info.node.handle) })
  end
end

registry.classDescriptors[CDC] = functional
registry.payloadDecoders[#registry.payloadDecoders + 1] = notification
registry.payloadDecoders[#registry.payloadDecoders + 1] = serialData
-- The data interface of a CDC function carries no class descriptors of its own.

return { requests = registry.classRequests[CDC] }
