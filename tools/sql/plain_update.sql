-- The update a user would type into the sqlite3 shell instead of running the program: one
-- correlated statement, the engine's defaults.
UPDATE tblArticulos SET (costesiniva, ultimopreciocoste, pvp1, pvp2, pvp3) = (
  SELECT c, c, c + c*ifnull(tblArticulos.margen1,0)/100.0, c + c*ifnull(tblArticulos.margen2,0)/100.0,
         c + c*ifnull(tblArticulos.margen3,0)/100.0
  FROM (SELECT ifnull(h.pvp,0)*(1-ifnull(h.descuento,0)/100.0) AS c FROM tblHistoricoEntradas h
        WHERE h.CODARTI = tblArticulos.CODARTI ORDER BY h.entro DESC LIMIT 1))
WHERE EXISTS (SELECT 1 FROM tblHistoricoEntradas h WHERE h.CODARTI = tblArticulos.CODARTI);
