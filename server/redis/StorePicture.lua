-- KEYS: picture:NAME, ended:NAME, names, sizes, bytes, expiry, sequence
-- ARGV: name, picture bytes, lifetime_ms, max_names, max_bytes, channel, digest
-- Makes picture:NAME the new picture's, all but its "jpeg" field, which the
-- transaction sets next. Returns the picture's sequence; publishes
-- "P NAME SEQUENCE UPLOADED_MS BYTES", and "X NAME" for each name dropped for
-- the bounds or found expired. A picture with the digest and size of the
-- name's newest keeps its sequence and renews its time, its lifetime and its
-- place in the bounds: "L NAME SEQUENCE UPLOADED_MS BYTES" then.
local name, size = ARGV[1], ARGV[2]
local now = redis.call('TIME')
local now_ms = tonumber(now[1]) * 1000 + math.floor(tonumber(now[2]) / 1000)
-- Names whose picture ran out of time leave the bounds.
for _, old in ipairs(redis.call('ZRANGEBYSCORE', KEYS[6], '-inf', string.format('%d', now_ms))) do
  if redis.call('EXISTS', 'lumivanta:picture:' .. old) == 0 then
    forget(old)
    redis.call('PUBLISH', ARGV[6], 'X ' .. old)
  end
end
-- The first sequence is the time in microseconds, so that viewers see new numbers after Redis starts afresh.
if redis.call('EXISTS', KEYS[7]) == 0 then
  redis.call('SET', KEYS[7], now[1] .. string.format('%06d', tonumber(now[2])))
end
local uploaded_ms = now[1] .. string.format('%03d', math.floor(tonumber(now[2]) / 1000))
local kept = redis.call('HMGET', KEYS[1], 'sequence', 'digest')
if kept[1] and kept[2] == ARGV[7] and redis.call('HGET', KEYS[4], name) == size then
  -- The order of the bounds takes a fresh number; the picture keeps its sequence.
  redis.call('ZADD', KEYS[3], string.format('%d', redis.call('INCR', KEYS[7])), name)
  redis.call('ZADD', KEYS[6], string.format('%d', now_ms + tonumber(ARGV[3])), name)
  redis.call('HSET', KEYS[1], 'uploaded_ms', uploaded_ms)
  redis.call('PEXPIRE', KEYS[1], ARGV[3])
  redis.call('PUBLISH', ARGV[6], 'L ' .. name .. ' ' .. kept[1] .. ' ' .. uploaded_ms .. ' ' .. size)
  return kept[1]
end
local sequence = string.format('%d', redis.call('INCR', KEYS[7]))
forget(name)
redis.call('DEL', KEYS[1], KEYS[2])
redis.call('HSET', KEYS[1], 'sequence', sequence, 'uploaded_ms', uploaded_ms, 'digest', ARGV[7])
redis.call('PEXPIRE', KEYS[1], ARGV[3])
redis.call('ZADD', KEYS[3], sequence, name)
redis.call('ZADD', KEYS[6], string.format('%d', now_ms + tonumber(ARGV[3])), name)
redis.call('HSET', KEYS[4], name, size)
redis.call('INCRBY', KEYS[5], size)
-- Past either bound the oldest names go; the picture just stored stays.
local max_names, max_bytes = tonumber(ARGV[4]), tonumber(ARGV[5])
while redis.call('ZCARD', KEYS[3]) > 1 and (redis.call('ZCARD', KEYS[3]) > max_names or
      tonumber(redis.call('GET', KEYS[5])) > max_bytes) do
  local oldest = redis.call('ZRANGE', KEYS[3], 0, 0)[1]
  redis.call('DEL', 'lumivanta:picture:' .. oldest)
  forget(oldest)
  redis.call('PUBLISH', ARGV[6], 'X ' .. oldest)
end
redis.call('PUBLISH', ARGV[6], 'P ' .. name .. ' ' .. sequence .. ' ' .. uploaded_ms .. ' ' .. size)
return sequence
