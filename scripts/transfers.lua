-- Control transfers (USB 2.0 section 8.5.3): the SETUP stage, an optional
-- data stage and the status stage in the opposite direction.

local markup = require "lib.markup"
local tree = require "lib.tree"
local requests = require "requests"
local payload = require "payload"
local devices = require "devices"

local C = {}

local function outcomeText(info, req)
  if info.stalled then return "STALL: the device rejected the request or could not complete it" end
  if info.complete then return "completed: the status stage was acknowledged" end
  if req.wLength == 0 or #info.data > 0 then return "incomplete: no acknowledged status stage was seen" end
  return "incomplete: no data or status stage was seen"
end

-- Transactions listed in a transfer's text; a transfer NAKed for seconds has thousands.
local LISTED = 32

local function transactionsTable(doc, list)
  local steps = doc:table("Transactions", { "Transaction", "Result" })
  for i = 1, math.min(#list, LISTED) do
    local trx = list[i]
    local _, data, hs = tree.packets(trx)
    local result = data and string.format("%s %d bytes", tree.pidNames[data.pid], #data.data) or "no data"
    steps:row(string.format("%s (row %d)", trx.subType, trx.handle),
      result .. ", " .. (hs and tree.pidNames[hs.pid] or "no handshake"))
  end
  if #list > LISTED then steps:row("...", string.format("%d more transactions", #list - LISTED)) end
end

local function retryCount(info)
  local n = 0
  for _ in pairs(info.retries) do n = n + 1 end
  return n
end

function C.transfer(t)
  local doc = markup.new()
  local info = tree.transfer(t.handle, t)
  local list = info.list
  local req = payload.request(info)
  local addr, endp
  if list[1] then addr, endp = tree.address(list[1]) end
  if not req then
    doc:para("Control transfer to %s without a valid 8-byte SETUP packet.",
      addr and string.format("%d.%d", addr, endp) or "an unknown device")
    return doc:text()
  end
  doc:para("Control transfer to device %d, endpoint %d: %s", addr, endp, requests.summary(req))
  local status = doc:table("Transfer")
  status:row("Request", requests.summary(req))
  status:row("Data stage", info.noDataStage and "none" or
    string.format("%s, %d of at most %d bytes", req.dir == 1 and "IN" or "OUT", #info.data, req.wLength))
  status:row("Status stage", info.statusDir)
  status:row("Outcome", outcomeText(info, req))
  status:row("Transactions", #list)
  local retries = retryCount(info)
  if retries > 0 then status:row("Retries", retries .. " repeated data packets dropped") end

  if req.chipHow then doc:para("Serial chip: %s.", req.chipHow) end
  if req.kind ~= 0 then
    local origin = devices.origin(addr, t.handle)
    if origin then doc:para(origin) end
  end
  requests.setupTable(doc, req)
  transactionsTable(doc, list)
  requests.decodeData(doc, req, info.data)
  return doc:text()
end

return C
