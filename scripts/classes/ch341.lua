-- WCH CH340 and CH341 USB-serial chips. WCH publishes the chips' clock and
-- rates (CH340 datasheet) but not their requests: the request numbers, the
-- register pairs and the baud and line-control bits are those of the
-- protocol as reverse-engineered for the Linux kernel's ch341 serial support.

local bytes = require "lib.bytes"
local registry = require "lib.registry"
local serial = require "classes.serial"

local chip = { name = "CH341", statusEndpoint = 0x81 }

chip.models = { [0x1A867523] = "CH340", [0x1A865523] = "CH341" }

-- Prescaler register 0x12 (bits 0-1 select 1, 8, 64 or 512 from 3 down to
-- 0, bit 2 doubles the clock) and divisor register 0x13 (256 minus the divisor).
local CLOCK = 48000000

local function baud(prescaler, divisorRegister)
  local div = 256 - divisorRegister
  if div == 0 then return "divisor 0" end
  local ps, doubled = prescaler & 3, (prescaler >> 2) & 1
  return string.format("prescaler 0x%02X, divisor %d: %s", prescaler, div,
    serial.baud(CLOCK / ((1 << (12 - 3 * ps - doubled)) * div)))
end

-- Line control register 0x18: data bits 5 to 8, stop bits, parity, and the
-- receiver and transmitter switched on.
local lcrParities = { [0] = 1, 2, 3, 4 }

local function lineControl(v)
  local bits, stop = 5 + (v & 3), (v >> 2) & 1 == 1 and 2 or 0
  local parity = (v >> 3) & 1 == 1 and lcrParities[(v >> 4) & 3] or 0
  return string.format("0x%02X, %s%s%s", v, serial.frameText(bits, parity, stop),
    (v & 0x80) ~= 0 and ", receiver on" or "", (v & 0x40) ~= 0 and ", transmitter on" or "")
end

local function registers(req)
  local r1, r2, v1, v2 = req.wValue & 0xFF, req.wValue >> 8, req.wIndex & 0xFF, req.wIndex >> 8
  if r1 == 0x12 and r2 == 0x13 then return "baud rate, " .. baud(v1, v2) end
  if r1 == 0x18 and r2 == 0x25 then return "line control " .. lineControl(v1) end
  return string.format("register 0x%02X = 0x%02X, register 0x%02X = 0x%02X", r1, v1, r2, v2)
end

-- The modem lines are active low: a cleared bit switches a line on.
local function modemControl(req)
  local on = ~req.wValue
  return string.format("DTR %s, RTS %s", (on & 0x20) ~= 0 and "on" or "off", (on & 0x40) ~= 0 and "on" or "off")
end

local function raw(req) return string.format("wValue 0x%04X, wIndex 0x%04X", req.wValue, req.wIndex) end

chip.requests = {
  [0x5F] = { name = "READ_VERSION", dir = 1, data = function(doc, _, d)
      if d[1] then doc:table("Returned"):row("Chip version", string.format("0x%02X", d[1])) end
    end },
  [0xA1] = { name = "SERIAL_INIT", dir = 0, value = raw },
  [0x9A] = { name = "WRITE_REG", dir = 0, value = registers },
  [0x95] = { name = "READ_REG", dir = 1, value = function(req)
      return string.format("registers 0x%02X and 0x%02X", req.wValue & 0xFF, req.wValue >> 8)
    end, data = function(doc, req, d)
      local t = doc:table("Returned")
      if d[1] then t:row(string.format("Register 0x%02X", req.wValue & 0xFF), string.format("0x%02X", d[1])) end
      if d[2] then t:row(string.format("Register 0x%02X", req.wValue >> 8), string.format("0x%02X", d[2])) end
    end },
  [0xA4] = { name = "MODEM_CTRL", dir = 0, value = modemControl },
}

function chip.status(doc, d)
  doc:table("CH341 status report"):row("Bytes", bytes.hexList(d, 1, #d))
  return "CH341 status report"
end

-- Requests that only this chip makes: reading its version, or writing its
-- baud-rate or line-control register pair.
registry.transferClues[#registry.transferClues + 1] = function(info, _, keep)
  local s = info.setup
  local regs = bytes.le(s, 3, 2)
  if (s[1] == 0xC0 and s[2] == 0x5F) or (s[1] == 0x40 and s[2] == 0x9A and (regs == 0x1312 or regs == 0x2518)) then
    keep("clue", { chip = chip, why = string.format("its vendor request 0x%02X in row %d is CH341's %s", s[2],
      info.node.handle, chip.requests[s[2]].name) })
  end
end

registry.chips[#registry.chips + 1] = chip

return chip
