-- Velkarin: discovery, announcements, configuration commands and their
-- replies, UDP port 8001 (docs/protocol.md describes the wire format).
--
-- Install: copy this file to ~/.local/lib/wireshark/plugins/, or load it for
-- one run with `tshark -X lua_script:tools/wireshark/velkarin.lua ...`.
-- Every field is under "velkarin.", e.g. velkarin.serial == "10A5E4".

local velkarin = Proto("velkarin", "Velkarin device protocol")

local DEVICE_PORT = 8001
-- The host reads announcements into 1024 bytes and replies into 127; a
-- longer datagram is dropped whole, never read in part.
local ANNOUNCEMENT_LIMIT = 1024
local REPLY_LIMIT = 127
local COMMAND_LIMIT = 255
local TWO32 = 4294967296

local DISCOVERY, ANNOUNCEMENT, COMMAND, REPLY, UNKNOWN = 1, 2, 3, 4, 0
local kinds = {
  [UNKNOWN] = "Unrecognised",
  [DISCOVERY] = "Discovery request",
  [ANNOUNCEMENT] = "Announcement",
  [COMMAND] = "Configuration command",
  [REPLY] = "Configuration reply",
}
local forms = {
  [3] = "with index and suffix",
  [4] = "with index",
  [5] = "plain",
  [8] = "authenticated",
}
local statuses = { [1] = "accepted", [-1] = "refused" }

local f = {
  type = ProtoField.uint8("velkarin.type", "Datagram", base.DEC, kinds),
  sections = ProtoField.uint8("velkarin.sections", "Sections"),
  unconfigured = ProtoField.bool("velkarin.unconfigured", "Sent from 0.0.0.0 (device without an address)"),
  serial = ProtoField.string("velkarin.serial", "Serial"),
  dhcp = ProtoField.int32("velkarin.dhcp", "DHCP"),
  ip = ProtoField.string("velkarin.ip", "IP address"),
  netmask = ProtoField.string("velkarin.netmask", "Netmask"),
  gateway = ProtoField.string("velkarin.gateway", "Gateway"),
  name = ProtoField.string("velkarin.name", "Name"),
  ext_number1 = ProtoField.int32("velkarin.ext_number1", "Extension number 1"),
  ext_text = ProtoField.string("velkarin.ext_text", "Extension text"),
  device_id = ProtoField.string("velkarin.device_id", "Device identifier"),
  device_index = ProtoField.int32("velkarin.device_index", "Device index"),
  ext_number2 = ProtoField.int32("velkarin.ext_number2", "Extension number 2"),
  ext_text_a = ProtoField.string("velkarin.ext_text_a", "Extension text A"),
  ext_text_b = ProtoField.string("velkarin.ext_text_b", "Extension text B"),
  command_suffix = ProtoField.int32("velkarin.command_suffix", "Command suffix"),
  aux_number = ProtoField.uint32("velkarin.aux_number", "Auxiliary number", base.HEX),
  aux_text_a = ProtoField.string("velkarin.aux_text_a", "Auxiliary text A"),
  aux_text_b = ProtoField.string("velkarin.aux_text_b", "Auxiliary text B"),
  ignored = ProtoField.bytes("velkarin.ignored", "Ignored bytes"),
  cmd_address = ProtoField.string("velkarin.command.address", "Addressed to"),
  cmd_form = ProtoField.uint8("velkarin.command.form", "Form", base.DEC, forms),
  cmd_digest = ProtoField.string("velkarin.command.digest", "Digest"),
  cmd_index = ProtoField.int32("velkarin.command.index", "Device index"),
  cmd_dhcp = ProtoField.string("velkarin.command.dhcp", "DHCP"),
  cmd_ip = ProtoField.string("velkarin.command.ip", "IP address"),
  cmd_netmask = ProtoField.string("velkarin.command.netmask", "Netmask"),
  cmd_gateway = ProtoField.string("velkarin.command.gateway", "Gateway"),
  cmd_suffix = ProtoField.int32("velkarin.command.suffix", "Command suffix"),
  reply_code = ProtoField.int32("velkarin.reply.code", "Code answered"),
  reply_status = ProtoField.int32("velkarin.reply.status", "Status", base.DEC, statuses),
  reply_challenge = ProtoField.string("velkarin.reply.challenge", "New challenge"),
  answers = ProtoField.framenum("velkarin.answers", "Answers the request in frame"),
}
velkarin.fields = {}
for _, field in pairs(f) do table.insert(velkarin.fields, field) end

local e = {
  malformed = ProtoExpert.new("velkarin.expert.malformed", "Malformed Velkarin datagram",
                              expert.group.MALFORMED, expert.severity.ERROR),
  truncated = ProtoExpert.new("velkarin.expert.truncated", "Truncated Velkarin datagram",
                              expert.group.MALFORMED, expert.severity.WARN),
  oversize = ProtoExpert.new("velkarin.expert.oversize", "Longer than the receiver reads; dropped whole",
                             expert.group.MALFORMED, expert.severity.ERROR),
  lenient = ProtoExpert.new("velkarin.expert.lenient", "Number read from the start of the word only",
                            expert.group.PROTOCOL, expert.severity.WARN),
  address = ProtoExpert.new("velkarin.expert.address", "Not an IPv4 address",
                            expert.group.PROTOCOL, expert.severity.WARN),
  unterminated = ProtoExpert.new("velkarin.expert.unterminated", "Last section ends with the datagram",
                                 expert.group.PROTOCOL, expert.severity.CHAT),
  short = ProtoExpert.new("velkarin.expert.short_section", "Section ends before its last item",
                          expert.group.PROTOCOL, expert.severity.CHAT),
  ignored = ProtoExpert.new("velkarin.expert.ignored", "Ignored by the receiver",
                            expert.group.PROTOCOL, expert.severity.NOTE),
  unconfigured = ProtoExpert.new("velkarin.expert.unconfigured", "Device without an address",
                                 expert.group.PROTOCOL, expert.severity.NOTE),
  refused = ProtoExpert.new("velkarin.expert.refused", "Command refused",
                            expert.group.RESPONSE_CODE, expert.severity.NOTE),
  not_accepted = ProtoExpert.new("velkarin.expert.not_accepted", "Command not accepted",
                                 expert.group.RESPONSE_CODE, expert.severity.WARN),
  other_code = ProtoExpert.new("velkarin.expert.other_code", "Reply to no configuration command",
                               expert.group.PROTOCOL, expert.severity.WARN),
  internal = ProtoExpert.new("velkarin.expert.internal", "Velkarin dissector could not finish",
                             expert.group.UNDECODED, expert.severity.ERROR),
}
velkarin.experts = {}
for _, ex in pairs(e) do table.insert(velkarin.experts, ex) end

---------------------------------------------------------------------------
-- Reading words the way the host does.

local BLANK = 32

-- Blank-separated words of s (blanks only; a tab is part of a word). Each
-- word: text, its 0-based offset in the datagram (base + position), length.
local function blank_words(s, base)
  local list, i, n = {}, 1, #s
  while i <= n do
    while i <= n and s:byte(i) == BLANK do i = i + 1 end
    if i > n then break end
    local j = i
    while j <= n and s:byte(j) ~= BLANK do j = j + 1 end
    list[#list + 1] = { text = s:sub(i, j - 1), offset = base + i - 1, length = j - i, pos = i }
    i = j
  end
  return list
end

-- Fields separated by exactly one space, empty ones included (commands).
local function single_space_fields(s)
  local list, start = {}, 1
  while true do
    local space = s:find(" ", start, true)
    local stop = space and space - 1 or #s
    list[#list + 1] = { text = s:sub(start, stop), offset = start - 1, length = stop - start + 1 }
    if not space then return list end
    start = space + 1
  end
end

-- As scanf's "%d" (base 10) or "%X" (base 16) reads the start of a word:
-- leading white space, a sign, for hex a 0x prefix, then digits, modulo 2^32.
-- Returns the unsigned value or nil, and whether the whole word was read.
local function scan(word, base)
  local p, n = 1, #word
  while p <= n and word:sub(p, p):find("^[ \t\n\v\f\r]") do p = p + 1 end
  local sign = word:sub(p, p)
  local negative = sign == "-"
  if sign == "-" or sign == "+" then p = p + 1 end
  local converted = false
  if base == 16 and word:sub(p, p) == "0" then
    converted = true
    p = p + 1
    local x = word:sub(p, p)
    if x == "x" or x == "X" then p = p + 1 end
  end
  local value = 0
  while p <= n do
    local digit = tonumber(word:sub(p, p), base)
    if digit == nil then break end
    value = (value * base + digit) % TWO32
    converted = true
    p = p + 1
  end
  if not converted then return nil, false end
  if negative then value = (TWO32 - value) % TWO32 end
  return value, p > n
end

local function signed(value)
  if value >= 2147483648 then return value - TWO32 end
  return value
end

local function is_ipv4(text)
  local a, b, c, d = text:match("^(%d%d?%d?)%.(%d%d?%d?)%.(%d%d?%d?)%.(%d%d?%d?)$")
  if not a then return false end
  for _, part in ipairs({ a, b, c, d }) do
    if tonumber(part) > 255 then return false end
  end
  return true
end

local function is_hex32(text)
  return #text == 32 and text:find("^%x+$") ~= nil
end

local function printable(text)
  if #text > 40 then text = text:sub(1, 37) .. "..." end
  return (text:gsub("[^\32-\126]", function(c) return string.format("\\x%02X", c:byte()) end))
end

---------------------------------------------------------------------------
-- Remembering which host socket asked what, so that an answer to a command
-- is read as a reply and an answer to discovery as an announcement.

local requests = {}

function velkarin.init()
  requests = {}
end

local function note_request(pinfo, port, kind)
  if pinfo.visited then return end
  local list = requests[port]
  if not list then
    list = {}
    requests[port] = list
  end
  list[#list + 1] = { frame = pinfo.number, kind = kind }
end

local function request_before(port, frame)
  local list = requests[port]
  if not list then return nil end
  for i = #list, 1, -1 do
    if list[i].frame < frame then return list[i] end
  end
  return nil
end

---------------------------------------------------------------------------
-- Item helpers.

local function word_range(tvb, word)
  return tvb(word.offset, word.length)
end

-- A decimal or hex item; warns when it is not a plain number.
local function add_number(tree, field, tvb, word, base, as_signed, label)
  local value, whole = scan(word.text, base)
  if value == nil then
    local item = tree:add(field, word_range(tvb, word), 0)
    item:set_text(label .. ": " .. printable(word.text) .. " (not a number)")
    item:add_proto_expert_info(e.malformed, label .. " is not a number: " .. printable(word.text))
    return nil, item
  end
  if as_signed then value = signed(value) end
  local item = tree:add(field, word_range(tvb, word), value)
  if not whole then
    item:add_proto_expert_info(e.lenient, label .. " read as " .. value .. " from " .. printable(word.text))
  end
  return value, item
end

local function add_text(tree, field, tvb, word)
  return tree:add(field, word_range(tvb, word), word.text)
end

local function add_address(tree, field, tvb, word, label)
  local item = add_text(tree, field, tvb, word)
  if not is_ipv4(word.text) then
    item:add_proto_expert_info(e.address, label .. " is not an IPv4 address: " .. printable(word.text))
  end
  return item
end

local function short_note(tree, number, count, total)
  tree:add_proto_expert_info(e.short, string.format("Section %d ends after item %d of %d", number, count, total))
end

---------------------------------------------------------------------------
-- Announcement: up to three sections, each ended by a NUL.

local section_titles = {
  "Section 1: serial, DHCP, addresses, name",
  "Section 2: identity",
  "Section 3: auxiliary",
}

local function dissect_section1(tvb, tree, s, base, info, terminated)
  local words = blank_words(s, base)
  local serial = words[1]
  if serial then
    local value = scan(serial.text, 16)
    if value == nil then
      local item = add_text(tree, f.serial, tvb, serial)
      item:add_proto_expert_info(e.malformed, "Serial is not hexadecimal: " .. printable(serial.text))
    else
      local shown = string.format("%06X", value)
      local item = tree:add(f.serial, word_range(tvb, serial), shown)
      if shown ~= serial.text then item:append_text(" (sent as " .. printable(serial.text) .. ")") end
      local _, whole = scan(serial.text, 16)
      if not whole then
        item:add_proto_expert_info(e.lenient, "Serial read as " .. shown .. " from " .. printable(serial.text))
      end
      info.serial = shown
    end
  end
  if words[2] then
    local dhcp, item = add_number(tree, f.dhcp, tvb, words[2], 10, true, "DHCP")
    if dhcp ~= nil then item:append_text(dhcp ~= 0 and " (Yes)" or " (No)") end
    info.dhcp = dhcp
  end
  if words[3] then info.ip = words[3].text; add_address(tree, f.ip, tvb, words[3], "IP address") end
  if words[4] then add_address(tree, f.netmask, tvb, words[4], "Netmask") end
  if words[5] then add_address(tree, f.gateway, tvb, words[5], "Gateway") end
  if words[6] then
    -- The name is the rest of the section, inner and trailing blanks kept.
    local rest = s:sub(words[6].pos)
    tree:add(f.name, tvb(words[6].offset, #rest), rest)
    info.name = rest
  end
  if #words < 6 then short_note(tree, 1, #words, 6) end
  -- A device leaves out what it does not have, so a short section is normal;
  -- one that stops without its NUL inside an address was cut short.
  local last = words[#words]
  if not terminated and #words >= 3 and #words <= 5 and not is_ipv4(last.text) then
    tree:add_proto_expert_info(e.truncated, "Datagram ends inside an address: " .. printable(last.text))
  end
end

local function dissect_section2(tvb, tree, s, base)
  local words = blank_words(s, base)
  local order = {
    { f.ext_number1, "Extension number 1", 10 },
    { f.ext_text }, { f.ext_text }, { f.ext_text }, { f.ext_text },
    { f.device_id },
    { f.device_index, "Device index", 10 },
    { f.ext_number2, "Extension number 2", 10 },
    { f.ext_text_a },
    { f.ext_text_b },
    { f.command_suffix, "Command suffix", 10 },
  }
  for i, item in ipairs(order) do
    local word = words[i]
    if not word then
      short_note(tree, 2, i - 1, #order)
      break
    end
    if item[2] then
      add_number(tree, item[1], tvb, word, item[3], true, item[2])
    else
      add_text(tree, item[1], tvb, word)
    end
  end
  if #words > #order then
    local first = words[#order + 1]
    tree:add_proto_expert_info(e.ignored, string.format("%d words after item 11 ignored", #words - #order))
    tree:add(f.ignored, tvb(first.offset, base + #s - first.offset))
  end
end

local function dissect_section3(tvb, tree, s, base)
  local words = blank_words(s, base)
  if words[1] then add_number(tree, f.aux_number, tvb, words[1], 16, false, "Auxiliary number") end
  if words[2] then add_text(tree, f.aux_text_a, tvb, words[2]) end
  if words[3] then add_text(tree, f.aux_text_b, tvb, words[3]) end
  if #words < 3 then short_note(tree, 3, #words, 3) end
  if #words > 3 then
    local first = words[4]
    tree:add_proto_expert_info(e.ignored, string.format("%d words after item 3 ignored", #words - 3))
    tree:add(f.ignored, tvb(first.offset, base + #s - first.offset))
  end
end

local function dissect_announcement(tvb, pinfo, tree, bytes)
  local info = {}
  if tostring(pinfo.src) == "0.0.0.0" then
    tree:add(f.unconfigured, true):set_generated()
    tree:add_proto_expert_info(e.unconfigured,
      "Sent from 0.0.0.0: the host shows this device's addresses as 0.0.0.0")
  end
  local readers = { dissect_section1, dissect_section2, dissect_section3 }
  local start, count, n = 1, 0, #bytes
  while count < 3 do
    local nul = bytes:find("\0", start, true)
    local stop = nul and nul - 1 or n
    count = count + 1
    local length = stop - start + 1 + (nul and 1 or 0)
    local section = tree:add(tvb(start - 1, length), section_titles[count])
    readers[count](tvb, section, bytes:sub(start, stop), start - 1, info, nul ~= nil)
    if not nul then
      section:add_proto_expert_info(e.unterminated)
      break
    end
    -- A section follows a NUL only when at least one byte comes after it.
    if nul == n then break end
    start = nul + 1
    if count == 3 then
      tree:add(f.ignored, tvb(nul, n - nul))
      tree:add_proto_expert_info(e.ignored, string.format("%d byte(s) after section 3", n - nul))
    end
  end
  tree:add(f.sections, count):set_generated()
  local text = "Announcement " .. (info.serial or "?")
  if info.name then text = text .. ' "' .. printable(info.name) .. '"' end
  if info.dhcp ~= nil then text = text .. (info.dhcp ~= 0 and " DHCP" or " fixed") end
  if info.ip then text = text .. " " .. printable(info.ip) end
  return text
end

---------------------------------------------------------------------------
-- Configuration command: one line, fields separated by single spaces.

local form_fields = { ["3"] = 8, ["4"] = 7, ["5"] = 6, ["8"] = 9 }

-- True when the text is exactly one of the four forms.
local function is_command_form(bytes)
  if bytes:find("[^\32-\126]") then return false end
  local fields = single_space_fields(bytes)
  if #fields < 2 or fields[1].text == "" then return false end
  local code = fields[2].text
  if form_fields[code] ~= #fields then return false end
  return code ~= "8" or is_hex32(fields[3].text)
end

local function strict_decimal(text)
  return text:find("^%-?%d+$") ~= nil
end

local function dissect_command(tvb, tree, bytes)
  local fields = single_space_fields(bytes)
  local address = fields[1]
  tree:add(f.cmd_address, tvb(address.offset, address.length), address.text)
  local code = fields[2] and fields[2].text or ""
  local expected = form_fields[code]
  if #bytes > COMMAND_LIMIT then
    tree:add_proto_expert_info(e.oversize, string.format(
      "Command of %d bytes; commands are at most %d", #bytes, COMMAND_LIMIT))
  end
  if address.text == "" or not expected or expected ~= #fields then
    tree:add_proto_expert_info(e.malformed, string.format(
      "Not a configuration command: code %q with %d fields; devices ignore it", printable(code), #fields))
    if code:find("^%d%d?%d?$") then
      tree:add(f.cmd_form, tvb(fields[2].offset, fields[2].length), tonumber(code))
    end
    return "Unrecognised command to " .. printable(address.text)
  end
  tree:add(f.cmd_form, tvb(fields[2].offset, fields[2].length), tonumber(code))
  local following = 3
  local function take()
    local field = fields[following]
    following = following + 1
    return field
  end
  local function number(field_def, field, label)
    local range = tvb(field.offset, field.length)
    if strict_decimal(field.text) then
      tree:add(field_def, range, tonumber(field.text))
    else
      tree:add(field_def, range, 0):set_text(label .. ": " .. printable(field.text) .. " (not a number)")
      tree:add_proto_expert_info(e.malformed, label .. " is not a decimal number: " .. printable(field.text))
    end
  end
  if code == "8" then
    local digest = take()
    local item = tree:add(f.cmd_digest, tvb(digest.offset, digest.length), digest.text)
    if not is_hex32(digest.text) then
      item:add_proto_expert_info(e.malformed, "Digest is not 32 hexadecimal digits")
    end
  end
  if code ~= "5" then number(f.cmd_index, take(), "Device index") end
  local dhcp = take()
  local dhcp_item = tree:add(f.cmd_dhcp, tvb(dhcp.offset, dhcp.length), dhcp.text)
  if dhcp.text == "1" then
    dhcp_item:append_text(" (use DHCP)")
  elseif dhcp.text == "0" then
    dhcp_item:append_text(" (fixed address)")
  else
    dhcp_item:add_proto_expert_info(e.malformed, "DHCP field is neither 1 nor 0")
  end
  local addresses = {}
  for i, def in ipairs({ { f.cmd_ip, "IP address" }, { f.cmd_netmask, "Netmask" }, { f.cmd_gateway, "Gateway" } }) do
    local field = take()
    addresses[i] = field.text
    local item = tree:add(def[1], tvb(field.offset, field.length), field.text)
    -- DHCP sends the three empty; a fixed address needs an address and a
    -- netmask, and the gateway may be left empty.
    if dhcp.text == "0" and (field.text ~= "" or i < 3) and not is_ipv4(field.text) then
      item:add_proto_expert_info(e.address, def[2] .. " is not an IPv4 address: " .. printable(field.text))
    end
  end
  if code == "3" or code == "8" then number(f.cmd_suffix, take(), "Command suffix") end
  local what = dhcp.text == "1" and "DHCP" or
      string.format("%s/%s gw %s", addresses[1], addresses[2], addresses[3] ~= "" and addresses[3] or "-")
  return string.format("Command form %s to %s: %s", code, printable(address.text), printable(what))
end

---------------------------------------------------------------------------
-- Configuration reply: serial, code, status and perhaps a new challenge.

-- strict: the fourth word, if any, must be a challenge (used on other ports).
local function is_reply_shape(bytes, strict)
  if bytes:find("[^\32-\126]") or (strict and #bytes > REPLY_LIMIT) then return false end
  local words = blank_words(bytes, 0)
  if #words < 3 or #words > 4 then return false end
  local _, hex_whole = scan(words[1].text, 16)
  return hex_whole and strict_decimal(words[2].text) and strict_decimal(words[3].text) and
      (words[4] == nil or not strict or is_hex32(words[4].text))
end

local function dissect_reply(tvb, tree, bytes)
  if #bytes > REPLY_LIMIT then
    tree:add_proto_expert_info(e.oversize, string.format(
      "Reply of %d bytes; the host reads at most %d and drops longer ones", #bytes, REPLY_LIMIT))
  end
  -- The host reads the reply as text: a NUL ends it.
  local nul = bytes:find("\0", 1, true)
  local text = nul and bytes:sub(1, nul - 1) or bytes
  local words = blank_words(text, 0)
  local serial, code, status
  if words[1] then
    local value, whole = scan(words[1].text, 16)
    if value then
      serial = string.format("%06X", value)
      local item = tree:add(f.serial, word_range(tvb, words[1]), serial)
      if not whole then item:add_proto_expert_info(e.lenient, "Serial read from " .. printable(words[1].text)) end
    else
      add_text(tree, f.serial, tvb, words[1]):add_proto_expert_info(e.malformed, "Serial is not hexadecimal")
    end
  end
  if words[2] then code = add_number(tree, f.reply_code, tvb, words[2], 10, true, "Code") end
  if words[3] then status = add_number(tree, f.reply_status, tvb, words[3], 10, true, "Status") end
  if code == nil or status == nil then
    tree:add_proto_expert_info(e.malformed, "Reply without a code and a status; the host reads 0 for them")
  end
  if words[4] then
    local item = add_text(tree, f.reply_challenge, tvb, words[4])
    if #words[4].text ~= 32 then
      item:set_text("Fourth word: " .. printable(words[4].text))
      item:add_proto_expert_info(e.ignored, "Not a challenge: 32 characters needed; the host keeps its challenge")
    elseif not is_hex32(words[4].text) then
      item:add_proto_expert_info(e.malformed, "Challenge is not 32 hexadecimal digits")
    end
  end
  if #words > 4 then
    tree:add_proto_expert_info(e.ignored, string.format("%d words after the challenge ignored", #words - 4))
  end
  if nul then
    tree:add(f.ignored, tvb(nul - 1, #bytes - nul + 1))
    tree:add_proto_expert_info(e.ignored, "A NUL ends the reply text")
  end
  local outcome = "no status"
  if code ~= nil and code ~= 3 and code ~= 4 and code ~= 5 and code ~= 8 then
    tree:add_proto_expert_info(e.other_code, "Code " .. code .. " answers no configuration command")
  end
  if status == 1 then
    outcome = "accepted"
  elseif status == -1 then
    outcome = "refused"
    tree:add_proto_expert_info(e.refused)
  elseif status ~= nil then
    outcome = "status " .. status
    tree:add_proto_expert_info(e.not_accepted, "Status " .. status)
  end
  if words[4] and is_hex32(words[4].text) then outcome = outcome .. ", new challenge" end
  return string.format("Reply %s to form %s: %s", serial or "?", code or "?", outcome)
end

---------------------------------------------------------------------------
-- Telling the datagrams apart.

-- to_device: true when sent to the devices' port, false when sent from it,
-- nil when the ports do not tell (heuristic use on other ports).
local function classify(bytes, pinfo, to_device)
  if bytes == "0 1 A" then return DISCOVERY end
  if to_device then return COMMAND end
  if to_device == nil and is_command_form(bytes) then return COMMAND end
  local request = request_before(pinfo.dst_port, pinfo.number)
  local answers = request and request.frame
  if bytes:find("\0", 1, true) then return ANNOUNCEMENT, answers end
  if request then return request.kind == COMMAND and REPLY or ANNOUNCEMENT, answers end
  if is_reply_shape(bytes, false) then return REPLY end
  return ANNOUNCEMENT
end

local function dissect_body(tvb, pinfo, tree, to_device)
  local bytes = tvb:raw(0, tvb:captured_len())
  local kind, answers = classify(bytes, pinfo, to_device)
  if kind == DISCOVERY or kind == COMMAND then note_request(pinfo, pinfo.src_port, kind) end
  local root = tree:add(velkarin, tvb())
  root:add(f.type, kind):set_generated()
  if answers then root:add(f.answers, answers):set_generated() end
  if tvb:captured_len() < tvb:reported_len() then
    root:add_proto_expert_info(e.truncated, string.format(
      "Only %d of %d bytes captured", tvb:captured_len(), tvb:reported_len()))
  end
  if #bytes == 0 then
    root:add_proto_expert_info(e.malformed, "Empty datagram")
    return "Empty datagram"
  end
  if kind == DISCOVERY then return "Discovery request" end
  if kind == COMMAND then return dissect_command(tvb, root, bytes) end
  if kind == REPLY then return dissect_reply(tvb, root, bytes) end
  if tvb:reported_len() > ANNOUNCEMENT_LIMIT then
    root:add_proto_expert_info(e.oversize, string.format(
      "Announcement of %d bytes; the host reads at most %d and drops longer ones",
      tvb:reported_len(), ANNOUNCEMENT_LIMIT))
  end
  return dissect_announcement(tvb, pinfo, root, bytes)
end

local function dissect(tvb, pinfo, tree, to_device)
  pinfo.cols.protocol = "Velkarin"
  local ok, result = pcall(dissect_body, tvb, pinfo, tree, to_device)
  if ok then
    pinfo.cols.info = result
  else
    -- Whatever the bytes, the capture stays readable; the message says where.
    pinfo.cols.info = "Velkarin (not dissected)"
    tree:add_proto_expert_info(e.internal, "Velkarin dissector could not finish: " .. tostring(result))
  end
  return tvb:reported_len()
end

function velkarin.dissector(tvb, pinfo, tree)
  local to_device = nil
  if pinfo.dst_port == DEVICE_PORT and pinfo.src_port ~= DEVICE_PORT then
    to_device = true
  elseif pinfo.src_port == DEVICE_PORT and pinfo.dst_port ~= DEVICE_PORT then
    to_device = false
  end
  return dissect(tvb, pinfo, tree, to_device)
end

-- On other ports (a fleet moved with `--broadcast ADDRESS:PORT`, or a device
-- without an address answering from a port of its own), claim what answers a
-- request seen before and what reads cleanly as one of the kinds.
local function heuristic(tvb, pinfo, tree)
  local length = tvb:captured_len()
  if length == 0 or length ~= tvb:reported_len() then return false end
  if request_before(pinfo.dst_port, pinfo.number) then
    dissect(tvb, pinfo, tree, false)
    return true
  end
  if length < 5 or length > ANNOUNCEMENT_LIMIT then return false end
  local bytes = tvb:raw(0, length)
  local claimed = bytes == "0 1 A" or is_command_form(bytes) or is_reply_shape(bytes, true)
  if not claimed and bytes:find("\0", 1, true) then
    local words = blank_words(bytes:sub(1, bytes:find("\0", 1, true) - 1), 0)
    local _, serial_whole = scan(words[1] and words[1].text or "", 16)
    claimed = serial_whole and words[2] ~= nil and strict_decimal(words[2].text) and
        words[3] ~= nil and is_ipv4(words[3].text)
  end
  if not claimed then return false end
  dissect(tvb, pinfo, tree, nil)
  return true
end

DissectorTable.get("udp.port"):add(DEVICE_PORT, velkarin)
velkarin:register_heuristic("udp", heuristic)
