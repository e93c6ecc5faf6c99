-- Delivered users: an administrator (ROLE 0) and an ordinary operator (ROLE 1).
-- Passwords are kept as typed, as the login compares them.
INSERT INTO "RoleDB" ("USERNAME", "PASSWORD", "ROLE") VALUES
  ('admin', 'admin', 0),
  ('oper', '1234', 1);
