-- Mass storage, Bulk-Only Transport (USB MSC BOT 1.0): the two class
-- requests, and the Command Block Wrapper / Command Status Wrapper found in
-- bulk data, with the SCSI command inside the CBW.

local bytes = require "lib.bytes"
local tree = require "lib.tree"
local registry = require "lib.registry"
local devices = require "devices"

local MSC = 0x08

-- SCSI operation codes (SPC/SBC/MMC) seen on USB storage.
local opcodes = {
  [0x00] = "TEST UNIT READY", [0x01] = "REZERO UNIT", [0x03] = "REQUEST SENSE", [0x04] = "FORMAT UNIT",
  [0x08] = "READ(6)", [0x0A] = "WRITE(6)", [0x12] = "INQUIRY", [0x15] = "MODE SELECT(6)",
  [0x1A] = "MODE SENSE(6)", [0x1B] = "START STOP UNIT", [0x1D] = "SEND DIAGNOSTIC",
  [0x1E] = "PREVENT ALLOW MEDIUM REMOVAL", [0x23] = "READ FORMAT CAPACITIES", [0x25] = "READ CAPACITY(10)",
  [0x28] = "READ(10)", [0x2A] = "WRITE(10)", [0x2B] = "SEEK(10)", [0x2F] = "VERIFY(10)",
  [0x35] = "SYNCHRONIZE CACHE(10)", [0x43] = "READ TOC/PMA/ATIP", [0x46] = "GET CONFIGURATION",
  [0x4A] = "GET EVENT STATUS NOTIFICATION", [0x51] = "READ DISC INFORMATION", [0x55] = "MODE SELECT(10)",
  [0x5A] = "MODE SENSE(10)", [0x88] = "READ(16)", [0x8A] = "WRITE(16)", [0x9E] = "SERVICE ACTION IN(16)",
  [0xA0] = "REPORT LUNS", [0xA1] = "ATA PASS-THROUGH(12)", [0x85] = "ATA PASS-THROUGH(16)",
  [0xA8] = "READ(12)", [0xAA] = "WRITE(12)",
}

local function opcodeName(op)
  return opcodes[op] or string.format("operation 0x%02X", op)
end

-- Fields of the commands worth spelling out, from the CDB bytes (1-based).
local function cdbFields(t, cdb)
  local op = cdb[1]
  local be = function(i, n) return bytes.be(cdb, i, n) end
  if op == 0x28 or op == 0x2A or op == 0x2F or op == 0x35 then
    if be(3, 4) then t:row("Logical block address", be(3, 4)) end
    if be(8, 2) then t:row("Transfer length", be(8, 2) .. " blocks") end
  elseif op == 0xA8 or op == 0xAA then
    if be(3, 4) then t:row("Logical block address", be(3, 4)) end
    if be(7, 4) then t:row("Transfer length", be(7, 4) .. " blocks") end
  elseif op == 0x88 or op == 0x8A then
    if be(3, 8) then t:row("Logical block address", be(3, 8)) end
    if be(11, 4) then t:row("Transfer length", be(11, 4) .. " blocks") end
  elseif op == 0x08 or op == 0x0A then
    if be(2, 3) then t:row("Logical block address", be(2, 3) & 0x1FFFFF) end
    if cdb[5] then t:row("Transfer length", (cdb[5] == 0 and 256 or cdb[5]) .. " blocks") end
  elseif op == 0x12 then
    if cdb[2] then t:row("EVPD", cdb[2] & 1) end
    if cdb[3] then t:row("Page code", bytes.hex2(cdb[3])) end
    if be(4, 2) then t:row("Allocation length", be(4, 2) .. " bytes") end
  elseif op == 0x03 or op == 0x1A then
    if op == 0x1A and cdb[3] then t:row("Page code", bytes.hex2(cdb[3] & 0x3F)) end
    if cdb[5] then t:row("Allocation length", cdb[5] .. " bytes") end
  elseif op == 0x5A or op == 0x23 then
    if op == 0x5A and cdb[3] then t:row("Page code", bytes.hex2(cdb[3] & 0x3F)) end
    if be(8, 2) then t:row("Allocation length", be(8, 2) .. " bytes") end
  elseif op == 0x1B and cdb[5] then
    t:row("Start", cdb[5] & 1)
    t:row("Load/eject", (cdb[5] >> 1) & 1)
  elseif op == 0x1E and cdb[5] then
    t:row("Prevent", cdb[5] & 3)
  end
end

-- Command Block Wrapper: 31 bytes starting with "USBC".
local function cbw(doc, d)
  local t = doc:table("Command Block Wrapper (CBW)")
  t:row("dCBWSignature", bytes.hex8(bytes.le(d, 1, 4)) .. ' ("USBC")')
  local fields = {
    { "dCBWTag", 5, 4, bytes.hex8 },
    { "dCBWDataTransferLength", 9, 4, function(v) return v .. " bytes" end },
    { "bmCBWFlags", 13, 1, function(v)
        return string.format("0x%02X (%s)", v, (v & 0x80) ~= 0 and "data in, device to host" or "data out, host to device")
      end },
    { "bCBWLUN", 14, 1, function(v) return tostring(v & 0x0F) end },
    { "bCBWCBLength", 15, 1, function(v) return v .. " bytes" end },
  }
  for _, f in ipairs(fields) do
    local v = bytes.le(d, f[2], f[3])
    if not v then
      doc:para("Truncated: a CBW has 31 bytes, this one %d.", #d)
      return "CBW (truncated)"
    end
    t:row(f[1], f[4](v))
  end
  local len = math.min(d[15] & 0x1F, 16)
  local cdb = bytes.slice(d, 16, 15 + len)
  if #d ~= 31 then doc:para("Invalid CBW: a CBW has 31 bytes, this one %d.", #d) end
  if not cdb[1] then return "CBW without a command block" end
  local name = opcodeName(cdb[1])
  local s = doc:table("SCSI command: " .. name)
  s:row("Operation code", string.format("0x%02X (%s)", cdb[1], name))
  cdbFields(s, cdb)
  s:row("Command block", bytes.hexList(cdb, 1, #cdb))
  return string.format("CBW tag %s: SCSI %s, LUN %d, %d bytes %s", bytes.hex8(bytes.le(d, 5, 4)), name,
    d[14] & 0x0F, bytes.le(d, 9, 4), (d[13] & 0x80) ~= 0 and "in" or "out")
end

-- The CBW sent to trx's device before trx, and the data-phase bytes
-- acknowledged between the two: their count, and the first `keep` of them in
-- order. Looks back at most `limit` top-level rows; nil when no CBW is found
-- there or another command's CSW comes first.
local function commandBefore(trx, limit, keep)
  local addr = tree.address(trx)
  local pieces, count = {}, 0
  local n, steps = tree.previousRoot(trx.handle), 0
  while n and steps < limit do
    steps = steps + 1
    if n.type == "transaction" and tree.address(n) == addr and tree.acked(n) then
      local _, data = tree.packets(n)
      local d = data and data.data
      if d and #d == 31 and bytes.matches(d, 1, "USBC") then
        local phase = {}
        for i = #pieces, 1, -1 do
          for _, b in ipairs(pieces[i]) do
            if #phase >= keep then break end
            phase[#phase + 1] = b
          end
        end
        return d, phase, count
      end
      if d and bytes.matches(d, 1, "USBS") then return nil end
      if d then
        pieces[#pieces + 1] = d
        count = count + #d
      end
    end
    n = tree.previousRoot(n.handle)
  end
  return nil
end

-- Top-level rows a command's data phase may span for the residue check
-- (NAKs and SOF groups included), and for the small replies decoded below.
local PHASE_ROWS, REPLY_ROWS = 4000, 64

local statuses = { [0] = "Command Passed", "Command Failed", "Phase Error" }

-- Command Status Wrapper: 13 bytes starting with "USBS".
local function csw(doc, d, trx)
  local t = doc:table("Command Status Wrapper (CSW)")
  t:row("dCSWSignature", bytes.hex8(bytes.le(d, 1, 4)) .. ' ("USBS")')
  local tag, residue, status = bytes.le(d, 5, 4), bytes.le(d, 9, 4), d[13]
  if tag then t:row("dCSWTag", bytes.hex8(tag)) end
  if residue then t:row("dCSWDataResidue", residue .. " bytes not transferred") end
  if status then t:row("bCSWStatus", string.format("%d (%s)", status, statuses[status] or "reserved")) end
  if #d ~= 13 then doc:para("Invalid CSW: a CSW has 13 bytes, this one %d.", #d) end
  if not status then return "CSW (truncated)" end
  local cbwBytes, _, moved = commandBefore(trx, PHASE_ROWS, 0)
  if cbwBytes and bytes.le(cbwBytes, 5, 4) == tag then
    local expected = bytes.le(cbwBytes, 9, 4)
    t:row("Data phase", string.format("%d of %d bytes transferred", moved, expected))
    if moved > expected then
      doc:para("The device moved %d bytes more than the CBW allowed (%d): a phase error.", moved - expected, expected)
    elseif expected - moved ~= residue then
      doc:para("The residue is wrong: the CBW asked for %d bytes and %d were transferred, so the residue " ..
        "should be %d, not %d.", expected, moved, expected - moved, residue)
    end
  end
  return string.format("CSW tag %s: %s", bytes.hex8(tag), statuses[status] or "reserved status")
end

local senseKeys = {
  [0x0] = "NO SENSE", [0x1] = "RECOVERED ERROR", [0x2] = "NOT READY", [0x3] = "MEDIUM ERROR",
  [0x4] = "HARDWARE ERROR", [0x5] = "ILLEGAL REQUEST", [0x6] = "UNIT ATTENTION", [0x7] = "DATA PROTECT",
  [0x8] = "BLANK CHECK", [0x9] = "VENDOR SPECIFIC", [0xA] = "COPY ABORTED", [0xB] = "ABORTED COMMAND",
  [0xD] = "VOLUME OVERFLOW", [0xE] = "MISCOMPARE",
}

local deviceTypes = {
  [0x00] = "direct access block device", [0x01] = "sequential access device", [0x05] = "CD/DVD device",
  [0x07] = "optical memory device", [0x0E] = "simplified direct-access device", [0x1F] = "unknown or no device",
}

local function text(d, first, last) return '"' .. bytes.ascii(d, first, last):gsub("%s+$", "") .. '"' end

local function inquiry(t, d)
  t:row("Peripheral device type", string.format("0x%02X (%s)", d[1] & 0x1F, deviceTypes[d[1] & 0x1F] or "other"))
  if d[2] then t:row("Removable medium", (d[2] & 0x80) ~= 0 and "yes" or "no") end
  if d[3] then t:row("Version", bytes.hex2(d[3])) end
  if d[5] then t:row("Additional length", string.format("%d (%d bytes in all)", d[5], d[5] + 5)) end
  if #d >= 16 then t:row("Vendor", text(d, 9, 16)) end
  if #d >= 32 then t:row("Product", text(d, 17, 32)) end
  if #d >= 36 then t:row("Revision", text(d, 33, 36)) end
end

local function capacity(t, lastLba, blockLength)
  if not lastLba or not blockLength then return end
  t:row("Last logical block address", lastLba)
  t:row("Block length", blockLength .. " bytes")
  t:row("Capacity", string.format("%d bytes", (lastLba + 1) * blockLength))
end

local function sense(t, d)
  t:row("Response code", string.format("0x%02X (%s)", d[1] & 0x7F, (d[1] & 0x7E) == 0x70 and "fixed format" or "other format"))
  if d[3] then t:row("Sense key", string.format("0x%X (%s)", d[3] & 0x0F, senseKeys[d[3] & 0x0F] or "reserved")) end
  if d[14] then t:row("ASC / ASCQ", string.format("0x%02X / 0x%02X", d[13], d[14])) end
end

local function modeSense6(t, d)
  t:row("Mode data length", d[1])
  if d[2] then t:row("Medium type", bytes.hex2(d[2])) end
  if d[3] then t:row("Write protected", (d[3] & 0x80) ~= 0 and "yes" or "no") end
  if d[4] then t:row("Block descriptor length", d[4] .. " bytes") end
end

-- Replies worth reading, by operation code; READ CAPACITY(16) is a service
-- action of 0x9E.
local replies = {
  [0x12] = inquiry,
  [0x25] = function(t, d) capacity(t, bytes.be(d, 1, 4), bytes.be(d, 5, 4)) end,
  [0x9E] = function(t, d) capacity(t, bytes.be(d, 1, 8), bytes.be(d, 9, 4)) end,
  [0x03] = sense,
  [0x1A] = modeSense6,
}

-- The data phase of a command whose reply is decoded above, with the pieces
-- already sent before this packet.
local function reply(doc, d, trx)
  local cbwBytes, phase = commandBefore(trx, REPLY_ROWS, 252)
  if not cbwBytes or (cbwBytes[13] & 0x80) == 0 then return nil end
  local op = cbwBytes[16]
  local decoder = replies[op]
  if not decoder or (op == 0x9E and (cbwBytes[17] & 0x1F) ~= 0x10) then return nil end
  for _, b in ipairs(d) do phase[#phase + 1] = b end
  local name = op == 0x9E and "READ CAPACITY(16)" or opcodeName(op)
  decoder(doc:table("SCSI " .. name .. " data"), phase)
  return "SCSI " .. name .. " data"
end

registry.payloadDecoders[#registry.payloadDecoders + 1] = function(doc, d, trx)
  if bytes.matches(d, 1, "USBC") then return cbw(doc, d) end
  if bytes.matches(d, 1, "USBS") then return csw(doc, d, trx) end
  if trx.subType ~= "IN" then return nil end
  local addr, endp = tree.address(trx)
  if not addr then return nil end
  local _, class = devices.endpointOwner(addr, endp | 0x80, trx.handle)
  if class == MSC then return reply(doc, d, trx) end
  return nil
end

-- A command block wrapper the device took proves a mass-storage device.
registry.acknowledgedOutClues[#registry.acknowledgedOutClues + 1] = function(d, trx, _, keep)
  if #d == 31 and bytes.matches(d, 1, "USBC") then
    keep("clue", { class = MSC, why = string.format('the 31-byte OUT in row %d starting "USBC" is a ' ..
      "mass-storage command block", trx.handle) })
  end
end

local function iface(req) return "interface " .. (req.wIndex & 0xFF) end

registry.classRequests[MSC] = {
  name = "Mass Storage",
  [0xFF] = { name = "Bulk-Only Mass Storage Reset", dir = 0, index = iface },
  [0xFE] = { name = "Get Max LUN", dir = 1, index = iface, data = function(doc, _, d)
      if d[1] then doc:table("Returned"):row("Max LUN", string.format("%d (LUNs 0 to %d)", d[1], d[1])) end
    end },
}

return {}
