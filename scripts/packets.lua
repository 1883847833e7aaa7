-- Single packets and bus resets (USB 2.0 chapter 8): PID, fields, CRC as
-- received and as computed here, and the idle time before the next event.

local markup = require "lib.markup"
local bytes = require "lib.bytes"
local tree = require "lib.tree"
local payload = require "payload"

local P = {}

local meanings = {
  [2] = "ACK: the receiver took the data without error",
  [10] = "NAK: the device cannot send or receive data now, the host retries",
  [14] = "STALL: the endpoint is halted or the control request is not supported",
  [6] = "NYET: not a full-speed handshake",
}

local function packetTable(doc, t, title)
  local tbl = doc:table(title)
  tbl:row("PID", tree.pidText(t.pid))
  return tbl
end

local function crcRow(tbl, name, received, computed, width)
  local fmt = "0x%0" .. width .. "X"
  tbl:row(name .. " received", string.format(fmt, received))
  tbl:row(name .. " computed", string.format(fmt .. " (%s)", computed, received == computed and "pass" or "FAIL"))
end

local function idleRow(tbl, t)
  if t.idleTicks then tbl:row("Idle after packet", bytes.ticks(t.idleTicks)) end
end

-- A device takes SE0 as a reset after 2.5 us; a host drives one for at least 10 ms (TDRST).
local RECOGNISED, HOST_DRIVES = 30, 120000

function P.reset(t)
  local doc = markup.new()
  if t.duration < RECOGNISED then
    doc:para("SE0 on both data lines for %s: not a reset, a device recognises one only after 2.5 \u{B5}s.",
      bytes.ticks(t.duration))
  else
    doc:para("Bus reset: SE0 on both data lines for %s. The device returns to the default state at address 0.",
      bytes.ticks(t.duration))
  end
  local tbl = doc:table("Reset")
  tbl:row("SE0 duration", bytes.ticks(t.duration))
  tbl:row("Line state after", bytes.ticks(t.idleTicks))
  if t.duration >= RECOGNISED and t.duration < HOST_DRIVES then
    doc:para("Shorter than the 10 ms a host must drive a reset (TDRST).")
  end
  return doc:text()
end

function P.sof(t)
  local doc = markup.new()
  doc:para("Start of frame %d", t.frame)
  local tbl = packetTable(doc, t, "SOF packet")
  tbl:row("Frame number", string.format("%d (0x%03X)", t.frame, t.frame))
  crcRow(tbl, "CRC5", t.crc5, bytes.crc5(t.frame), 2)
  idleRow(tbl, t)
  return doc:text()
end

local tokenWhat = {
  [1] = "OUT: the host sends data to", [9] = "IN: the host asks for data from",
  [13] = "SETUP: the host starts a control transfer on",
}

function P.token(t)
  local doc = markup.new()
  doc:para("%s device %d, endpoint %d", tokenWhat[t.pid] or tree.pidNames[t.pid] .. " token to", t.addr, t.endp)
  local tbl = packetTable(doc, t, tree.pidNames[t.pid] .. " token")
  tbl:row("Address", t.addr)
  tbl:row("Endpoint", t.endp)
  crcRow(tbl, "CRC5", t.crc5, bytes.crc5(t.addr | (t.endp << 7)), 2)
  idleRow(tbl, t)
  return doc:text()
end

function P.handshake(t)
  local doc = markup.new()
  doc:para(meanings[t.pid] or (tree.pidNames[t.pid] .. " handshake"))
  local tbl = packetTable(doc, t, "Handshake")
  idleRow(tbl, t)
  return doc:text()
end

local PREVIEW = 64

function P.data(t)
  local doc = markup.new()
  local d = t.data
  local trx = tree.parentOfType(t, "transaction")
  local where = ""
  if trx then
    local addr, endp = tree.address(trx)
    if addr then where = string.format(" in the %s transaction to %d.%d", trx.subType, addr, endp) end
  end
  doc:para("%s packet with %d data byte%s%s", tree.pidNames[t.pid], #d, #d == 1 and "" or "s", where)
  local tbl = packetTable(doc, t, "Data packet")
  tbl:row("Data length", #d .. " bytes")
  crcRow(tbl, "CRC16", t.crc16, bytes.crc16(d), 4)
  idleRow(tbl, t)
  if #d > 0 then
    doc:hexdump(#d > PREVIEW and string.format("Data (first %d of %d bytes)", PREVIEW, #d) or "Data", d, PREVIEW)
  end
  if trx then payload.describe(doc, trx, t) end
  return doc:text()
end

return P
