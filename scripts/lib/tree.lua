-- Following rows with getNode: a packet's transaction, a transaction's
-- control transfer, and a control transfer read once for all its rows.

local M = {}

local PID_ACK, PID_DATA0, PID_DATA1, PID_STALL = 2, 3, 11, 14

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

-- The 8 setup bytes of a transfer's first SETUP (nil when it carried no
-- 8-byte DATA0) and that SETUP transaction.
local function setupOf(list)
  for _, trx in ipairs(list) do
    if trx.subType == "SETUP" then
      local _, data = M.packets(trx)
      if data and #data.data == 8 then return data.data, trx end
      return nil, trx
    end
  end
  return nil
end

-- A control transfer read once: its transactions, SETUP, and what each
-- transaction is to the transfer. The program decides completion and joins
-- the data stage; two readings are added here. A request with wLength 0 has
-- no data stage and its status stage is IN whatever bit 7 says (USB 2.0
-- 8.5.3), and a data packet that repeats the previous packet's DATA0/DATA1
-- (its handshake was lost, so the toggle did not advance) is a retry the
-- receiver drops, so it is not part of the data stage.
local function readTransfer(t)
  local list = M.transactions(t)
  local setup, setupTrx = setupOf(list)
  local info = { node = t, list = list, setup = setup, setupTrx = setupTrx, data = t.dataStage,
    offsets = {}, retries = {}, complete = t.complete, stalled = false }
  if not setup then return info end
  local wLength = setup[7] | (setup[8] << 8)
  info.noDataStage = wLength == 0
  local dataDir = (setup[1] & 0x80) ~= 0 and "IN" or "OUT"
  info.statusDir = (info.noDataStage or dataDir == "OUT") and "IN" or "OUT"
  -- The first data-stage packet is DATA1.
  local joined, toggle, sawRetry = {}, PID_DATA1, false
  for _, trx in ipairs(list) do
    if M.stalled(trx) then info.stalled = true end
    local _, data = M.packets(trx)
    -- A SETUP sets both toggles again.
    if trx.subType == "SETUP" then toggle = PID_DATA1 end
    if M.acked(trx) and data and trx.subType ~= "SETUP" then
      if trx.subType == info.statusDir and #data.data == 0 then
        info.status = trx.handle
        if info.noDataStage then info.complete = true end
      elseif trx.subType == dataDir and not info.noDataStage then
        if data.pid ~= toggle then
          info.retries[trx.handle] = true
          sawRetry = true
        else
          info.offsets[trx.handle] = #joined
          for _, b in ipairs(data.data) do joined[#joined + 1] = b end
          toggle = toggle == PID_DATA1 and PID_DATA0 or PID_DATA1
        end
      end
    end
  end
  if sawRetry then info.data = joined end
  return info
end

-- Transfers read lately, by row; a new row list (rowsVersion) empties it.
-- Every row of a transfer asks for it, so each row costs the same whatever
-- the transfer's length.
local CACHE_SIZE = 64
local cache, cached, cacheVersion = {}, 0, nil

-- The reading of the control transfer in `row`, or nil when that row holds
-- none. `known`, when given, is the table of that row.
function M.transfer(row, known)
  if cacheVersion ~= rowsVersion then cache, cached, cacheVersion = {}, 0, rowsVersion end
  local hit = cache[row]
  if hit ~= nil then return hit or nil end
  local n = known or M.node(row)
  local info = n and n.type == "transfer" and readTransfer(n) or false
  if cached >= CACHE_SIZE then cache, cached = {}, 0 end
  cache[row], cached = info, cached + 1
  return info or nil
end

-- The device address and endpoint of a transaction, from its token.
function M.address(trx)
  local tok = M.packets(trx)
  if tok then return tok.addr, tok.endp end
  return nil
end

-- The top-level row after root n: rows list each tree depth first, so it is
-- the row after n's last descendant.
function M.nextRoot(n)
  local last = n
  while last and last.children and #last.children > 0 do last = M.node(last.children[#last.children]) end
  return last and M.node(last.handle + 1)
end

-- The top-level row before `row` (climbing from a child to its root).
function M.previousRoot(row)
  local n = M.node(row - 1)
  while n and n.parent ~= -1 do n = M.node(n.parent) end
  return n
end

return M
