-- Where the class modules plug in, keyed by interface class code
-- (0x02 CDC, 0x03 HID, 0x08 mass storage, ...).

return {
  -- classDescriptors[class](doc, d, pos, last, state): decodes a class-specific
  -- descriptor found after an interface of that class; returns true if it did.
  classDescriptors = {},
  -- classRequests[class] = { name = "HID", [bRequest] = request entry, ... }
  -- (entry fields as in requests.lua).
  classRequests = {},
  -- descriptorStages[bDescriptorType](doc, req, d): decodes the data stage of
  -- GET_DESCRIPTOR for a class descriptor that is not a descriptor list (the
  -- HID report descriptor).
  descriptorStages = {},
  -- payloadDecoders[i](doc, data, trx): decodes a bulk or interrupt payload of
  -- transaction trx it recognises; returns a one-line summary if it did.
  payloadDecoders = {},
  -- What traffic proves about its device when the capture lacks the device's
  -- descriptors, read once as devices.lua scans the capture:
  -- transferClues[i](info, addr, keep) for each control transfer read by
  -- tree.transfer, acknowledgedOutClues[i](d, trx, addr, keep) for each
  -- acknowledged OUT outside control transfers with its data bytes d.
  -- keep(kind, entry) records a fact for devices.fact; the kind "clue" takes
  -- { class = code or chip = chip entry, why = text } and keeps the first of each.
  transferClues = {},
  acknowledgedOutClues = {},
  -- chips[i]: USB-serial chips (classes/serial.lua describes the entries).
  chips = {},
}
