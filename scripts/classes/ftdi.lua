-- FTDI USB-serial chips, FT232R and FT2232 family. FTDI publishes no list of
-- its vendor requests: their numbers and fields are those the protocol
-- comments of the Linux kernel's ftdi_sio driver header document. The baud
-- divisor is that of FTDI application note AN232B-05 ("Configuring FT232R,
-- FT2232 and FT232B Baud Rates"); the two status bytes that start every IN
-- packet are those of AN232B-04 ("Data Throughput, Latency and Handshaking").

local bytes = require "lib.bytes"
local registry = require "lib.registry"
local serial = require "classes.serial"

local chip = { name = "FTDI" }

chip.models = {
  [0x04036001] = "FT232R/FT232B", [0x04036010] = "FT2232", [0x04036011] = "FT4232H",
  [0x04036014] = "FT232H", [0x04036015] = "FT-X",
}
-- Chips of several ports take the port in the low byte of wIndex, which moves
-- the divisor's bit 16 to bit 8.
local multiPort = { FT2232 = true, FT4232H = true }

-- AN232B-05: bits 14 to 16 of the divisor add eighths to its 14-bit integer part.
local fractions = { [0] = 0, 0.5, 0.25, 0.125, 0.375, 0.625, 0.75, 0.875 }
local BASE_CLOCK = 3000000

local function divisor(req)
  local high = multiPort[req.chipModel] and (req.wIndex >> 8) & 1 or req.wIndex & 1
  local div = req.wValue | (high << 16)
  return (div & 0x3FFF) + fractions[(div >> 14) & 7]
end

local function baudValue(req)
  local div = divisor(req)
  -- AN232B-05: divisors 0 and 1 give 3 and 2 Mbaud.
  local rate = div == 0 and BASE_CLOCK or div == 1 and 2000000 or BASE_CLOCK / div
  return string.format("divisor %g: %s", div, serial.baud(rate))
end

local function frameValue(req)
  local v = req.wValue
  local bits, parity, stop = v & 0xFF, (v >> 8) & 7, (v >> 11) & 3
  local text = serial.frameText(bits, parity, stop)
  return (v >> 14) & 1 == 1 and text .. ", break on" or text
end

local flowModes = { [0] = "none", [1] = "RTS/CTS", [2] = "DTR/DSR", [4] = "XON/XOFF" }

local function flowValue(req)
  local mode = flowModes[req.wIndex >> 8] or string.format("0x%02X", req.wIndex >> 8)
  if req.wIndex >> 8 == 4 then
    return string.format("%s, XON 0x%02X, XOFF 0x%02X", mode, req.wValue & 0xFF, req.wValue >> 8)
  end
  return mode
end

local function charValue(req)
  return string.format("0x%02X, %s", req.wValue & 0xFF, (req.wValue >> 8) & 1 == 1 and "enabled" or "disabled")
end

local bitModes = {
  [0x00] = "reset to serial", [0x01] = "asynchronous bit-bang", [0x02] = "MPSSE", [0x04] = "synchronous bit-bang",
  [0x08] = "MCU host bus", [0x10] = "fast opto-isolated serial", [0x20] = "CBUS bit-bang",
  [0x40] = "synchronous FIFO",
}

local modemBits = { "", "", "", "", "CTS", "DSR", "RI", "DCD" }
local lineBits = { "data ready", "overrun error", "parity error", "framing error", "break",
  "transmit holding register empty", "transmitter empty", "error in receive FIFO" }

local function port(req) return "port " .. (req.wIndex & 0xFF) end

local resets = { [0] = "reset the port", "purge the receive buffer", "purge the transmit buffer" }

chip.requests = {
  [0x00] = { name = "RESET", dir = 0, index = port, value = function(req)
      return resets[req.wValue] or "reserved " .. req.wValue
    end },
  [0x01] = { name = "MODEM_CTRL", dir = 0, index = port, value = function(req) return serial.modemControl(req.wValue) end },
  [0x02] = { name = "SET_FLOW_CTRL", dir = 0, value = flowValue, index = port },
  [0x03] = { name = "SET_BAUD_RATE", dir = 0, value = baudValue },
  [0x04] = { name = "SET_DATA", dir = 0, index = port, value = frameValue },
  [0x05] = { name = "GET_MODEM_STATUS", dir = 1, index = port, data = function(doc, _, d)
      local t = doc:table("Returned")
      if d[1] then t:row("Modem status", bytes.bits(d[1], modemBits)) end
      if d[2] then t:row("Line status", bytes.bits(d[2], lineBits)) end
    end },
  [0x06] = { name = "SET_EVENT_CHAR", dir = 0, index = port, value = charValue },
  [0x07] = { name = "SET_ERROR_CHAR", dir = 0, index = port, value = charValue },
  [0x09] = { name = "SET_LATENCY_TIMER", dir = 0, index = port, value = function(req)
      return (req.wValue & 0xFF) .. " ms"
    end },
  [0x0A] = { name = "GET_LATENCY_TIMER", dir = 1, index = port, data = function(doc, _, d)
      if d[1] then doc:table("Returned"):row("Latency timer", d[1] .. " ms") end
    end },
  [0x0B] = { name = "SET_BITMODE", dir = 0, index = port, value = function(req)
      return string.format("%s, pin mask 0x%02X", bitModes[req.wValue >> 8] or "mode " .. (req.wValue >> 8),
        req.wValue & 0xFF)
    end },
  [0x0C] = { name = "READ_PINS", dir = 1, index = port, data = function(doc, _, d)
      if d[1] then doc:table("Returned"):row("Pins", string.format("0x%02X", d[1])) end
    end },
  [0x90] = { name = "READ_EEPROM", dir = 1, index = function(req) return "word " .. req.wIndex end },
  [0x91] = { name = "WRITE_EEPROM", dir = 0, value = function(req) return string.format("0x%04X", req.wValue) end,
    index = function(req) return "word " .. req.wIndex end },
  [0x92] = { name = "ERASE_EEPROM", dir = 0 },
}

-- Every IN packet starts with the modem and line status; the serial bytes follow.
function chip.payload(doc, d, trx)
  if trx.subType ~= "IN" then return serial.data(doc, d, 1, "OUT") end
  if #d < 2 then
    doc:para("An FTDI IN packet starts with two status bytes; this one has %d.", #d)
    return "FTDI packet without its status bytes"
  end
  local t = doc:table("FTDI status bytes")
  t:row("Modem status", bytes.bits(d[1], modemBits))
  t:row("Line status", bytes.bits(d[2], lineBits))
  if #d == 2 then return "FTDI status, no serial data" end
  return serial.data(doc, d, 3, "IN")
end

-- A vendor request that sets a serial frame the way SET_DATA does.
registry.transferClues[#registry.transferClues + 1] = function(info, _, keep)
  local s = info.setup
  if s[1] ~= 0x40 or s[2] ~= 0x04 or s[7] ~= 0 or s[8] ~= 0 then return end
  local bits, parity, stop = s[3], s[4] & 7, (s[4] >> 3) & 3
  if (bits == 7 or bits == 8) and parity <= 4 and stop <= 2 and s[4] >> 6 == 0 then
    keep("clue", { chip = chip, why = string.format("its vendor request 0x04 in row %d sets a serial frame " ..
      "(%s) as FTDI's SET_DATA does", info.node.handle, serial.frame(bits, parity, stop)) })
  end
end

registry.chips[#registry.chips + 1] = chip

return chip
