-- wrk script: score submissions as the game sends them, each with a fresh token of its own.
-- wrk -tN ... -s submit.lua URL -- TOKEN_FILE N
-- Thread k takes every N-th token from the file, starting at the k-th; the payload is encoded
-- beforehand, so the load is the server's. When the tokens run out, they are used again,
-- and the server refuses them (wrk counts those as non-2xx responses).
local alphabet = "ABCDEFGHJKLMNPQRSTUVWXY123456789"
local threads = 0

-- The game's base-32: five bytes give eight characters of the alphabet.
local function encode(text)
  local out = {}
  for i = 1, #text, 5 do
    local b1, b2, b3, b4, b5 = string.byte(text, i, i + 4)
    local n = (((b1 * 256 + b2) * 256 + b3) * 256 + b4) * 256 + b5
    for shift = 35, 0, -5 do
      local v = math.floor(n / 2 ^ shift) % 32
      out[#out + 1] = string.sub(alphabet, v + 1, v + 1)
    end
  end
  return table.concat(out)
end

function setup(thread)
  thread:set("id", threads)
  threads = threads + 1
end

local targets = {}
local next_target = 0

function init(args)
  local count = tonumber(args[2])
  local index = 0
  for token in io.lines(args[1]) do
    if index % count == id then
      local payload = "type=0|name=Bench" .. id .. "|score=" .. (1000 + index) .. "|key=Q|p=" .. token .. "|add=wrk|z="
      while #payload % 5 ~= 0 do payload = payload .. "0" end
      targets[#targets + 1] = "/cgi/version.pl?hs&prg=Zarovel&inf=" .. encode(payload)
    end
    index = index + 1
  end
  assert(#targets > 0, "no tokens in " .. args[1])
end

function request()
  next_target = next_target % #targets + 1
  return wrk.format("GET", targets[next_target])
end
