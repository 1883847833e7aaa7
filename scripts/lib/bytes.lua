-- Byte helpers: little- and big-endian fields, hex text, USB CRCs, UTF-16LE.
-- Byte arrays are Lua sequences of integers 0..255, index 1 first.

local M = {}

function M.hex2(v) return string.format("0x%02X", v) end
function M.hex4(v) return string.format("0x%04X", v) end
function M.hex8(v) return string.format("0x%08X", v) end

-- n bytes from index i, little-endian; nil when they are not all there.
function M.le(d, i, n)
  local v = 0
  for k = n - 1, 0, -1 do
    local b = d[i + k]
    if b == nil then return nil end
    v = (v << 8) | b
  end
  return v
end

function M.be(d, i, n)
  local v = 0
  for k = 0, n - 1 do
    local b = d[i + k]
    if b == nil then return nil end
    v = (v << 8) | b
  end
  return v
end

-- Bytes first..last as "12 01 00 02".
function M.hexList(d, first, last)
  local out = {}
  for i = first, math.min(last, #d) do out[#out + 1] = string.format("%02X", d[i]) end
  return table.concat(out, " ")
end

-- Printable ASCII of the bytes, "." for the rest.
function M.ascii(d, first, last)
  local out = {}
  for i = first, math.min(last, #d) do
    local b = d[i]
    out[#out + 1] = (b >= 0x20 and b < 0x7F) and string.char(b) or "."
  end
  return table.concat(out)
end

-- v in hex with the names of its set bits, low bit first ("" names a bit
-- not worth naming): "0x31 (CTS, DSR)", "0x00 (none)".
function M.bits(v, names)
  local on = {}
  for i, name in ipairs(names) do
    if name ~= "" and (v >> (i - 1)) & 1 == 1 then on[#on + 1] = name end
  end
  return string.format("0x%02X (%s)", v, #on > 0 and table.concat(on, ", ") or "none")
end

-- Sub-array d[first..last].
function M.slice(d, first, last)
  local out = {}
  for i = first, math.min(last or #d, #d) do out[#out + 1] = d[i] end
  return out
end

-- True when the bytes at i spell the ASCII text s.
function M.matches(d, i, s)
  for k = 1, #s do
    if d[i + k - 1] ~= s:byte(k) then return false end
  end
  return true
end

-- USB CRC5 (x^5 + x^2 + 1) of an 11-bit token or SOF field, in the bit order
-- it has in the packet's field (the value the decoder reports as "crc5").
function M.crc5(field)
  local crc = 0x1F
  for i = 0, 10 do
    local bit = (field >> i) & 1
    if ((crc ~ bit) & 1) == 1 then crc = (crc >> 1) ~ 0x14 else crc = crc >> 1 end
  end
  return (~crc) & 0x1F
end

-- USB CRC16 (x^16 + x^15 + x^2 + 1) of a data payload, low byte first as sent.
function M.crc16(d)
  local crc = 0xFFFF
  for _, b in ipairs(d) do
    crc = crc ~ b
    for _ = 1, 8 do
      if (crc & 1) == 1 then crc = (crc >> 1) ~ 0xA001 else crc = crc >> 1 end
    end
  end
  return (~crc) & 0xFFFF
end

-- UTF-16LE bytes first..last as UTF-8 text. Unpaired surrogates become U+FFFD;
-- the second result is true when an odd byte was left over.
function M.utf16le(d, first, last)
  local out, i = {}, first
  while i + 1 <= last do
    local u = d[i] | (d[i + 1] << 8)
    i = i + 2
    if u >= 0xD800 and u <= 0xDBFF and i + 1 <= last then
      local lo = d[i] | (d[i + 1] << 8)
      if lo >= 0xDC00 and lo <= 0xDFFF then
        u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00)
        i = i + 2
      else
        u = 0xFFFD
      end
    elseif u >= 0xD800 and u <= 0xDFFF then
      u = 0xFFFD
    end
    out[#out + 1] = utf8.char(u)
  end
  return table.concat(out), i <= last
end

-- A duration in bit times (1/12 us at full speed) as "1.500 us (18 bit times)",
-- in the unit that keeps the number below 1000.
function M.ticks(t)
  local ns = t * 1000 // 12
  local text
  if ns < 1000 then
    text = string.format("%d ns", ns)
  else
    local int, frac, unit
    if ns < 1000000 then
      int, frac, unit = ns // 1000, ns % 1000, "\u{B5}s"
    elseif ns < 1000000000 then
      int, frac, unit = ns // 1000000, (ns // 1000) % 1000, "ms"
    else
      int, frac, unit = ns // 1000000000, (ns // 1000000) % 1000, "s"
    end
    text = frac == 0 and string.format("%d %s", int, unit) or string.format("%d.%03d %s", int, frac, unit)
  end
  return string.format("%s (%d bit times)", text, t)
end

return M
