-- Silicon Labs CP210x USB-serial chips. Requests, their fields and the baud
-- divisor's clock are those of Silicon Labs application note AN571
-- ("CP210x/CP211x Virtual COM Port Interface"): vendor requests to the
-- interface, 0x41 to the chip and 0xC1 from it.

local bytes = require "lib.bytes"
local registry = require "lib.registry"
local serial = require "classes.serial"

local chip = { name = "CP210x" }

chip.models = { [0x10C4EA60] = "CP2102/CP2109", [0x10C4EA70] = "CP2105", [0x10C4EA71] = "CP2108" }

-- AN571: SET_BAUDDIV divides this clock.
local BAUD_CLOCK = 3686400

local function iface(req) return "interface " .. (req.wIndex & 0xFF) end

local function frame(v)
  local stop, parity, bits = v & 0xF, (v >> 4) & 0xF, v >> 8
  return serial.frameText(bits, parity, stop)
end

local function divisorBaud(v) return v == 0 and "divisor 0" or string.format("divisor %d: %s", v, serial.baud(BAUD_CLOCK / v)) end

local modemStatus = { "DTR", "RTS", "", "", "CTS", "DSR", "RI", "DCD" }

-- A returned value of `size` bytes, shown by `show`.
local function returned(label, size, show)
  return function(doc, _, d)
    local v = bytes.le(d, 1, size)
    if v then doc:table("Returned"):row(label, show(v)) end
  end
end

local function plain(name, dir) return { name = name, dir = dir, index = iface } end

chip.requests = {
  [0x00] = { name = "IFC_ENABLE", dir = 0, index = iface, value = function(req)
      return req.wValue == 1 and "enable the UART" or req.wValue == 0 and "disable the UART" or tostring(req.wValue)
    end },
  [0x01] = { name = "SET_BAUDDIV", dir = 0, index = iface, value = function(req) return divisorBaud(req.wValue) end },
  [0x02] = { name = "GET_BAUDDIV", dir = 1, index = iface, data = returned("Baud divisor", 2, divisorBaud) },
  [0x03] = { name = "SET_LINE_CTL", dir = 0, index = iface, value = function(req) return frame(req.wValue) end },
  [0x04] = { name = "GET_LINE_CTL", dir = 1, index = iface, data = returned("Line control", 2, frame) },
  [0x05] = { name = "SET_BREAK", dir = 0, index = iface, value = function(req)
      return req.wValue == 0 and "end the break" or "start a break"
    end },
  [0x06] = { name = "IMM_CHAR", dir = 0, index = iface, value = function(req)
      return string.format("0x%02X", req.wValue & 0xFF)
    end },
  [0x07] = { name = "SET_MHS", dir = 0, index = iface, value = function(req) return serial.modemControl(req.wValue) end },
  [0x08] = { name = "GET_MDMSTS", dir = 1, index = iface,
    data = returned("Modem status", 1, function(v) return bytes.bits(v, modemStatus) end) },
  [0x09] = plain("SET_XON", 0), [0x0A] = plain("SET_XOFF", 0), [0x0B] = plain("SET_EVENTMASK", 0),
  [0x0C] = plain("GET_EVENTMASK", 1), [0x0D] = plain("SET_CHAR", 0), [0x0E] = plain("GET_CHARS", 1),
  [0x0F] = plain("GET_PROPS", 1), [0x10] = plain("GET_COMM_STATUS", 1), [0x11] = plain("RESET", 0),
  [0x12] = plain("PURGE", 0), [0x13] = plain("SET_FLOW", 0), [0x14] = plain("GET_FLOW", 1),
  [0x15] = plain("EMBED_EVENTS", 0), [0x16] = plain("GET_EVENTSTATE", 1), [0x19] = plain("SET_CHARS", 0),
  [0x1D] = { name = "GET_BAUDRATE", dir = 1, index = iface, data = returned("Baud rate", 4, serial.baud) },
  [0x1E] = { name = "SET_BAUDRATE", dir = 0, index = iface, data = function(doc, _, d)
      local v = bytes.le(d, 1, 4)
      if v then doc:table("Baud rate"):row("Baud rate", serial.baud(v)) end
    end },
  [0xFF] = plain("VENDOR_SPECIFIC", nil),
}

-- Vendor requests to an interface that enable a UART or set a baud rate.
registry.transferClues[#registry.transferClues + 1] = function(info, _, keep)
  local s = info.setup
  local length = bytes.le(s, 7, 2)
  if s[1] == 0x41 and ((s[2] == 0x00 and s[3] == 1 and s[4] == 0 and length == 0) or (s[2] == 0x1E and length == 4)) then
    keep("clue", { chip = chip, why = string.format("its vendor request 0x%02X to interface %d in row %d is " ..
      "CP210x's %s", s[2], s[5], info.node.handle, chip.requests[s[2]].name) })
  end
end

registry.chips[#registry.chips + 1] = chip

return chip
