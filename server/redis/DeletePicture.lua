-- KEYS: picture:NAME, ended:NAME, names, sizes, bytes, expiry
-- ARGV: name, lifetime_ms, channel
-- Publishes "E NAME".
forget(ARGV[1])
redis.call('DEL', KEYS[1])
redis.call('SET', KEYS[2], '1', 'PX', ARGV[2])
redis.call('PUBLISH', ARGV[3], 'E ' .. ARGV[1])
return 1
