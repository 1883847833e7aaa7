-- Control transfers (USB 2.0 section 8.5.3): the SETUP stage, an optional
-- data stage and the status stage in the opposite direction.

local markup = require "lib.markup"
local tree = require "lib.tree"
local requests = require "requests"
local payload = require "payload"

local C = {}

local function outcomeText(stage, req)
  if stage.stalled then return "STALL: the device rejected the request or could not complete it" end
  if stage.complete then return "completed: the status stage was acknowledged" end
  if req.wLength == 0 or #stage.data > 0 then return "incomplete: no acknowledged status stage was seen" end
  return "incomplete: no data or status stage was seen"
end

function C.transfer(t)
  local doc = markup.new()
  local req, setup = payload.request(t)
  local list = tree.transactions(t)
  local addr, endp
  if list[1] then addr, endp = tree.address(list[1]) end
  if not req then
    doc:para("Control transfer to %s without a valid 8-byte SETUP packet.",
      addr and string.format("%d.%d", addr, endp) or "an unknown device")
    return doc:text()
  end
  local stage = tree.dataStage(t, setup)
  doc:para("Control transfer to device %d, endpoint %d: %s", addr, endp, requests.summary(req))
  local status = doc:table("Transfer")
  status:row("Request", requests.summary(req))
  status:row("Data stage", req.wLength == 0 and "none" or
    string.format("%s, %d of at most %d bytes", req.dir == 1 and "IN" or "OUT", #stage.data, req.wLength))
  status:row("Outcome", outcomeText(stage, req))
  status:row("Transactions", #list)

  requests.setupTable(doc, req)
  local steps = doc:table("Transactions", { "Transaction", "Result" })
  for _, trx in ipairs(list) do
    local _, data, hs = tree.packets(trx)
    local result = data and string.format("%s %d bytes", tree.pidNames[data.pid], #data.data) or "no data"
    steps:row(string.format("%s (row %d)", trx.subType, trx.handle),
      result .. ", " .. (hs and tree.pidNames[hs.pid] or "no handshake"))
  end
  requests.decodeData(doc, req, stage.data)
  return doc:text()
end

return C
