-- Following rows with getNode: a packet's transaction, a transaction's
-- control transfer, the SETUP of a transfer and its joined data stage.

local M = {}

local PID_ACK, PID_STALL = 2, 14

M.pidNames = {
  [0] = "RESERVED", "OUT", "ACK", "DATA0", "PING", "SOF", "NYET", "DATA2",
  "SPLIT", "IN", "NAK", "DATA1", "ERR/PRE", "SETUP", "STALL", "MDATA",
}

-- The whole PID byte: the PID with its complement in the high nibble.
function M.pidCode(pid)
  return string.format("0x%02X", (pid & 15) | ((~pid & 15) << 4))
end

function M.pidText(pid)
  return string.format("%s (%s)", M.pidNames[pid & 15], M.pidCode(pid))
end

-- The table of a row, or nil (getNode returns its argument for unknown rows).
function M.node(row)
  if type(row) ~= "number" or row < 0 then return nil end
  local n = getNode(row)
  if type(n) == "table" then return n end
  return nil
end

function M.parentOfType(t, kind)
  local p = t and M.node(t.parent)
  if p and p.type == kind then return p end
  return nil
end

-- Token, data and handshake packets of a transaction (first of each).
function M.packets(trx)
  local r = {}
  for _, row in ipairs(trx.children or {}) do
    local c = M.node(row)
    if c and not r[c.type] then r[c.type] = c end
  end
  return r.token, r.data, r.handshake
end

-- The transaction's handshake has this PID.
local function endedWith(trx, pid)
  local _, _, hs = M.packets(trx)
  return hs ~= nil and hs.pid == pid
end

function M.acked(trx) return endedWith(trx, PID_ACK) end
function M.stalled(trx) return endedWith(trx, PID_STALL) end

-- How the transaction ended, as a word.
function M.outcome(trx)
  local _, data, hs = M.packets(trx)
  if hs then return M.pidNames[hs.pid] end
  if data then return "no handshake" end
  return "no data or handshake"
end

-- Transactions of a transfer in order.
function M.transactions(transfer)
  local list = {}
  for _, row in ipairs(transfer.children or {}) do
    local c = M.node(row)
    if c and c.type == "transaction" then list[#list + 1] = c end
  end
  return list
end

-- The 8 setup bytes of a transfer (nil when its SETUP carried no 8-byte DATA0)
-- and the SETUP transaction.
function M.setupOf(transfer)
  for _, trx in ipairs(M.transactions(transfer)) do
    if trx.subType == "SETUP" then
      local _, data = M.packets(trx)
      if data and #data.data == 8 then return data.data, trx end
      return nil, trx
    end
  end
  return nil
end

-- The data stage of a transfer: the payloads of the acknowledged transactions
-- in the data-stage direction, joined. Also returns, per transaction handle,
-- the offset its payload starts at, whether the status stage completed, and
-- whether any transaction was stalled.
function M.dataStage(transfer, setup)
  local stage = { data = {}, offsets = {}, complete = false, stalled = false }
  if not setup then return stage end
  local inStage = (setup[1] & 0x80) ~= 0
  local dataDir = inStage and "IN" or "OUT"
  local statusDir = inStage and "OUT" or "IN"
  for _, trx in ipairs(M.transactions(transfer)) do
    if M.stalled(trx) then stage.stalled = true end
    local _, data = M.packets(trx)
    if M.acked(trx) and data then
      if trx.subType == dataDir then
        stage.offsets[trx.handle] = #stage.data
        for _, b in ipairs(data.data) do stage.data[#stage.data + 1] = b end
      elseif trx.subType == statusDir and #data.data == 0 then
        stage.complete = true
      end
    end
  end
  return stage
end

-- The device address and endpoint of a transaction, from its token.
function M.address(trx)
  local tok = M.packets(trx)
  if tok then return tok.addr, tok.endp end
  return nil
end

-- The top-level row before `row` (climbing from a child to its root).
function M.previousRoot(row)
  local n = M.node(row - 1)
  while n and n.parent ~= -1 do n = M.node(n.parent) end
  return n
end

return M
