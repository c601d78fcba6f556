-- Drops a name from the bounds' bookkeeping; its keys are the caller's.
-- Shared by the scripts that follow it (KEYS[3] names, KEYS[4] sizes,
-- KEYS[5] bytes, KEYS[6] expiry).
local function forget(old)
  local size = redis.call('HGET', KEYS[4], old)
  if size then
    redis.call('DECRBY', KEYS[5], size)
    redis.call('HDEL', KEYS[4], old)
  end
  redis.call('ZREM', KEYS[3], old)
  redis.call('ZREM', KEYS[6], old)
end
