-- The 32 preset rows of each demo matrix; "NULL" means the preset has no description.
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 32),
  m(seq, name) AS (VALUES (1, '网口演示矩阵'), (2, '串口演示矩阵'), (3, '离线演示矩阵'))
INSERT INTO "ScreenDescDB" ("Name", "SCREEN_NO", "DESC")
  SELECT name, i, 'NULL' FROM m JOIN n ORDER BY seq, i;

UPDATE "ScreenDescDB" SET "DESC" = '会议模式' WHERE "Name" = '网口演示矩阵' AND "SCREEN_NO" = 1;
UPDATE "ScreenDescDB" SET "DESC" = '演示模式' WHERE "Name" = '网口演示矩阵' AND "SCREEN_NO" = 2;
UPDATE "ScreenDescDB" SET "DESC" = '全屏播放' WHERE "Name" = '串口演示矩阵' AND "SCREEN_NO" = 1;
