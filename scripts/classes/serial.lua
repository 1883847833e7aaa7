-- Serial ports behind USB: line settings as text, payloads as the characters
-- they carry, and the USB-serial chips. A chip module registers an entry in
-- registry.chips:
--   name                   "FTDI"
--   models[vendor << 16 | product]   the model those ids name
--   requests[bRequest]     its vendor requests (entries as in requests.lua)
--   classRequests          class requests it takes on its vendor interface (optional)
--   statusEndpoint         the endpoint of its status reports when no descriptor says (optional)
--   payload(doc, d, trx, model)   data of a data endpoint (optional: plain serial bytes)
--   status(doc, d, trx)    a status report (optional)
-- and clues (lib/registry.lua) with chip = its entry, for the vendor requests
-- only it makes.

local tree = require "lib.tree"
local registry = require "lib.registry"
local devices = require "devices"

local S = {}

S.parities = { [0] = "none", "odd", "even", "mark", "space" }
local parityLetters = { [0] = "N", "O", "E", "M", "S" }
S.stopBits = { [0] = "1", "1.5", "2" }

-- "8N1" from data bits, parity code and stop-bits code; "?" for what is unknown.
function S.frame(dataBits, parity, stop)
  return string.format("%s%s%s", dataBits or "?", parityLetters[parity] or "?", S.stopBits[stop] or "?")
end

-- "8N1: 8 data bits, no parity, 1 stop bit".
function S.frameText(dataBits, parity, stop)
  local p = S.parities[parity]
  return string.format("%s: %d data bits, %s, %s stop bit%s", S.frame(dataBits, parity, stop), dataBits,
    p == "none" and "no parity" or p and p .. " parity" or "reserved parity", S.stopBits[stop] or "reserved",
    stop == 0 and "" or "s")
end

-- Rates terminals offer: a divisor that cannot make one exactly is named by
-- the one it comes closest to.
local standardRates = { 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 28800, 38400, 57600, 115200,
  230400, 460800, 921600, 1000000, 1500000, 2000000, 3000000 }

-- A rate the chip makes from a divisor: "115385 baud (115200 +0.16 %)".
function S.baud(rate)
  local whole = math.floor(rate + 0.5)
  for _, std in ipairs(standardRates) do
    local off = (rate - std) / std * 100
    if whole == std then return whole .. " baud" end
    if math.abs(off) < 3 then return string.format("%d baud (%d %+.2f %%)", whole, std, off) end
  end
  return whole .. " baud"
end

local escapes = { [9] = "\\t", [10] = "\\n", [13] = "\\r", [92] = "\\\\" }

-- Bytes first..last as text: printable ASCII as it is, \r \n \t \\ and \xNN for the rest.
function S.text(d, first, last)
  local out = {}
  for i = first, math.min(last, #d) do
    local b = d[i]
    out[#out + 1] = escapes[b] or ((b >= 0x20 and b < 0x7F) and string.char(b) or string.format("\\x%02X", b))
  end
  return table.concat(out)
end

-- Characters a table row of serial text shows before it wraps.
local ROW_BYTES = 64

-- The serial bytes d[first..] as a table of lines (a line ends after \n);
-- returns the one-line summary.
function S.data(doc, d, first, direction)
  local n = #d - first + 1
  local t = doc:table(string.format("Serial data: %d byte%s %s", n, n == 1 and "" or "s",
    direction == "IN" and "from the device" or "to the device"), { "Offset", "Text" })
  local start = first
  for i = first, #d do
    if d[i] == 10 or i == #d or i - start + 1 == ROW_BYTES then
      t:row(tostring(start - first), S.text(d, start, i))
      start = i + 1
    end
  end
  local preview = S.text(d, first, first + 31)
  return string.format('serial data "%s%s"', preview, n > 32 and "..." or "")
end

-- Bulk and interrupt data of a serial chip's endpoints.
local function decode(doc, d, trx)
  local addr, endp = tree.address(trx)
  if not addr or endp == 0 then return nil end
  local chip, model, how = devices.chip(addr, trx.handle)
  if not chip then return nil end
  local epAddr = trx.subType == "IN" and (endp | 0x80) or endp
  local typ = devices.endpointType(addr, epAddr, trx.handle)
  local summary
  if typ == 3 or (typ == nil and epAddr == chip.statusEndpoint) then
    summary = chip.status and chip.status(doc, d, trx)
  elseif chip.payload then
    summary = chip.payload(doc, d, trx, model)
  else
    summary = S.data(doc, d, 1, trx.subType)
  end
  if summary then doc:para("Serial chip: %s.", how) end
  return summary
end

-- First: a chip's ids or its own requests say more than a class inferred from a
-- SET_LINE_CODING, which a PL2303 takes too.
table.insert(registry.payloadDecoders, 1, decode)

-- Bits of a modem control request (FTDI, CP210x): a line changes only where
-- its mask bit (8 above it) is set.
function S.modemControl(v)
  local parts = {}
  for i, line in ipairs({ "DTR", "RTS" }) do
    local bit = 1 << (i - 1)
    if v & (bit << 8) ~= 0 then parts[#parts + 1] = line .. ((v & bit) ~= 0 and " on" or " off") end
  end
  return #parts > 0 and table.concat(parts, ", ") or "no line changed"
end

return S
