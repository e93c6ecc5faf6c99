-- Delivered catalogue: three demo matrices, one per connection mode.
-- Rows only; the table itself is created from its declared fields by the store library.
-- The network matrix leaves Port empty, so the console uses port 5555 (the simulator's).
INSERT INTO "MatrixDB" ("Name", "Type", "InNum", "OutNum", "Audio", "ComType", "ComNum", "IP", "Port", "Mask") VALUES
  ('网口演示矩阵', 'VCA',   16, 16, 1, '网口',     NULL,   '127.0.0.1', NULL, '255.255.255.0'),
  ('串口演示矩阵', 'HDMIA',  8,  8, 1, '串口',     'COM1', NULL,        NULL, NULL),
  ('离线演示矩阵', 'DVI',   72, 72, 0, '离线模式', NULL,   NULL,        NULL, NULL);
