-- Channel rows of the demo matrices, added the way the matrix editor adds them: for each
-- matrix "In" 1..InNum, then "Out" 1..OutNum. The order of adding is the order of reading.
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 72),
  m(seq, name, ins, outs) AS (VALUES (1, '网口演示矩阵', 16, 16), (2, '串口演示矩阵', 8, 8), (3, '离线演示矩阵', 72, 72)),
  ch(seq, name, kind, ord, no) AS (
    SELECT seq, name, 'In', 0, i FROM m JOIN n ON i <= ins
    UNION ALL
    SELECT seq, name, 'Out', 1, i FROM m JOIN n ON i <= outs)
INSERT INTO "ChannelDescDB" ("MatrixName", "ChannelType", "Desc", "ChannelNo")
  SELECT name, kind, NULL, no FROM ch ORDER BY seq, ord, no;

-- A few described channels.
UPDATE "ChannelDescDB" SET "Desc" = '摄像机1' WHERE "MatrixName" = '网口演示矩阵' AND "ChannelType" = 'In' AND "ChannelNo" = 1;
UPDATE "ChannelDescDB" SET "Desc" = '摄像机2' WHERE "MatrixName" = '网口演示矩阵' AND "ChannelType" = 'In' AND "ChannelNo" = 2;
UPDATE "ChannelDescDB" SET "Desc" = '电脑' WHERE "MatrixName" = '网口演示矩阵' AND "ChannelType" = 'In' AND "ChannelNo" = 3;
UPDATE "ChannelDescDB" SET "Desc" = '投影机' WHERE "MatrixName" = '网口演示矩阵' AND "ChannelType" = 'Out' AND "ChannelNo" = 1;
UPDATE "ChannelDescDB" SET "Desc" = '监视器' WHERE "MatrixName" = '网口演示矩阵' AND "ChannelType" = 'Out' AND "ChannelNo" = 2;
UPDATE "ChannelDescDB" SET "Desc" = '蓝光播放机' WHERE "MatrixName" = '串口演示矩阵' AND "ChannelType" = 'In' AND "ChannelNo" = 1;
UPDATE "ChannelDescDB" SET "Desc" = '大屏幕' WHERE "MatrixName" = '串口演示矩阵' AND "ChannelType" = 'Out' AND "ChannelNo" = 1;
