-- The prices the run must give, computed by the engine in one statement: each article with
-- entries takes its cost from its latest entry (price less discount); each sale price is the cost
-- plus its margin. Null reads as 0, and a number passes through its 15-digit text, as in the run.
UPDATE tblArticulos SET
  costesiniva = u.c, ultimopreciocoste = u.c,
  pvp1 = CAST(printf('%.15g', u.c + u.c * IFNULL(CAST(printf('%.15g', tblArticulos.margen1) AS REAL), 0) / 100) AS REAL),
  pvp2 = CAST(printf('%.15g', u.c + u.c * IFNULL(CAST(printf('%.15g', tblArticulos.margen2) AS REAL), 0) / 100) AS REAL),
  pvp3 = CAST(printf('%.15g', u.c + u.c * IFNULL(CAST(printf('%.15g', tblArticulos.margen3) AS REAL), 0) / 100) AS REAL)
FROM (
  SELECT a.rowid AS id,
         (SELECT IFNULL(CAST(printf('%.15g', e.pvp) AS REAL), 0)
                 * (1 - IFNULL(CAST(printf('%.15g', e.descuento) AS REAL), 0) / 100)
            FROM tblHistoricoEntradas e WHERE e.CODARTI = a.CODARTI ORDER BY e.entro DESC LIMIT 1) AS c
    FROM tblArticulos a) AS u
WHERE tblArticulos.rowid = u.id AND u.c IS NOT NULL;
