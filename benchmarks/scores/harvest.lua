-- wrk script: asks for check replies and writes the token of each (the field between the
-- fourth and the fifth "|") to the file named by the first argument, one a line.
-- Used with one thread: wrk -t1 ... -s harvest.lua URL -- FILE
local out
local kept = 0

function init(args)
  out = assert(io.open(args[1], "w"))
end

function response(status, headers, body)
  if status ~= 200 or body == nil then return end
  local fields = {}
  for field in string.gmatch(body, "([^|]*)|") do fields[#fields + 1] = field end
  if fields[5] ~= nil and #fields[5] > 0 then
    out:write(fields[5], "\n")
    kept = kept + 1
    -- wrk ends without closing the file: flush as we go.
    if kept % 50 == 0 then out:flush() end
  end
end
