-- The DEMO database (SQLite): a small trading company's customers,
-- products, invoices and invoice lines, a few thousand rows made from
-- fixed lists, so every run gives the same data. Run after
-- sys_tables_sqlite.sql; the sample reports and table states go into the
-- system tables at the end.

CREATE TABLE CUSTOMERS (
  CUS_ID    INTEGER PRIMARY KEY,
  CUS_NAME  VARCHAR(60) NOT NULL,
  CUS_CITY  VARCHAR(30),
  CUS_PHONE VARCHAR(20),
  CUS_INN   CHAR(10),
  CUS_SINCE DATE,
  CUS_NOTE  TEXT
);

CREATE TABLE PRODUCTS (
  PRD_ID    INTEGER PRIMARY KEY,
  PRD_NAME  VARCHAR(60) NOT NULL,
  PRD_UNIT  VARCHAR(10),
  PRD_PRICE NUMERIC(12,2) NOT NULL
);

CREATE TABLE INVOICES (
  INV_ID    INTEGER PRIMARY KEY,
  INV_NUM   VARCHAR(12) NOT NULL UNIQUE,
  INV_DATE  DATE NOT NULL,
  CUS_ID    INTEGER NOT NULL REFERENCES CUSTOMERS (CUS_ID),
  INV_PAID  BOOLEAN NOT NULL DEFAULT 0,
  INV_TOTAL NUMERIC(14,2),
  INV_NOTE  TEXT
);

CREATE TABLE INVOICE_LINES (
  LIN_ID    INTEGER PRIMARY KEY AUTOINCREMENT,
  INV_ID    INTEGER NOT NULL REFERENCES INVOICES (INV_ID),
  PRD_ID    INTEGER NOT NULL REFERENCES PRODUCTS (PRD_ID),
  LIN_QTY   INTEGER NOT NULL,
  LIN_PRICE NUMERIC(12,2) NOT NULL
);

CREATE INDEX INVOICES_DATE ON INVOICES (INV_DATE);
CREATE INDEX INVOICES_CUSTOMER ON INVOICES (CUS_ID);
CREATE INDEX INVOICE_LINES_INVOICE ON INVOICE_LINES (INV_ID);

CREATE VIEW INVOICE_TOTALS AS
SELECT c.CUS_NAME, c.CUS_CITY, COUNT(*) AS INV_COUNT, SUM(i.INV_TOTAL) AS INV_SUM
FROM INVOICES i JOIN CUSTOMERS c ON c.CUS_ID = i.CUS_ID
GROUP BY c.CUS_NAME, c.CUS_CITY;

-- 240 customers: surnames, initials and company forms combined
WITH
  surnames(k, s) AS (VALUES (0,'Иванов'),(1,'Петров'),(2,'Сидоров'),(3,'Кузнецов'),(4,'Смирнов'),
    (5,'Попов'),(6,'Васильев'),(7,'Соколов'),(8,'Михайлов'),(9,'Новиков'),(10,'Фёдоров'),(11,'Морозов'),
    (12,'Волков'),(13,'Алексеев'),(14,'Лебедев'),(15,'Семёнов'),(16,'Егоров'),(17,'Павлов'),
    (18,'Козлов'),(19,'Степанов')),
  initials(k, s) AS (VALUES (0,'А.И.'),(1,'В.П.'),(2,'Г.С.'),(3,'Д.М.'),(4,'Е.Н.'),(5,'О.К.')),
  forms(k, s) AS (VALUES (0,'ИП'),(1,'ООО «Торговый дом'),(2,'ЗАО «Компания')),
  cities(k, s) AS (VALUES (0,'Москва'),(1,'Санкт-Петербург'),(2,'Тверь'),(3,'Казань'),(4,'Новосибирск'),
    (5,'Екатеринбург'),(6,'Нижний Новгород'),(7,'Самара'),(8,'Омск'),(9,'Ростов-на-Дону')),
  seq(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM seq WHERE n < 240)
INSERT INTO CUSTOMERS (CUS_ID, CUS_NAME, CUS_CITY, CUS_PHONE, CUS_INN, CUS_SINCE, CUS_NOTE)
SELECT n,
  CASE (n % 3)
    WHEN 0 THEN (SELECT s FROM forms WHERE k = 0) || ' ' || (SELECT s FROM surnames WHERE k = n % 20)
                || ' ' || (SELECT s FROM initials WHERE k = n % 6)
    ELSE (SELECT s FROM forms WHERE k = n % 3) || ' ' || (SELECT s FROM surnames WHERE k = n % 20)
                || CASE WHEN n > 120 THEN ' и партнёры' ELSE '' END || '»'
  END,
  (SELECT s FROM cities WHERE k = (n * 7) % 10),
  '+7 (9' || printf('%02d', n % 100) || ') ' || printf('%03d-%02d-%02d', (n * 37) % 1000, (n * 11) % 100, (n * 53) % 100),
  printf('%010d', 7700000000 + n * 104729 % 99999999),
  date('2015-01-01', '+' || ((n * 97) % 3000) || ' days'),
  CASE WHEN n % 7 = 0 THEN 'Постоянный клиент.' || char(13) || char(10) || 'Скидка 5% на всё.'
       WHEN n % 11 = 0 THEN 'Оплата только по предоплате' ELSE NULL END
FROM seq;

-- 48 products with prices
WITH
  goods(k, s, u) AS (VALUES (0,'Бумага офисная А4','пачка'),(1,'Ручка шариковая','шт'),
    (2,'Папка-регистратор','шт'),(3,'Картридж лазерный','шт'),(4,'Степлер','шт'),(5,'Скрепки','упак'),
    (6,'Калькулятор','шт'),(7,'Маркер текстовый','шт'),(8,'Тетрадь 96 л.','шт'),(9,'Клей-карандаш','шт'),
    (10,'Ножницы','шт'),(11,'Блокнот','шт')),
  grades(k, s, f) AS (VALUES (0,'эконом',0.8),(1,'стандарт',1.0),(2,'премиум',1.6),(3,'оптовая упаковка',9.5)),
  seq(n) AS (SELECT 0 UNION ALL SELECT n + 1 FROM seq WHERE n < 47)
INSERT INTO PRODUCTS (PRD_ID, PRD_NAME, PRD_UNIT, PRD_PRICE)
SELECT n + 1,
  (SELECT s FROM goods WHERE k = n % 12) || ', ' || (SELECT s FROM grades WHERE k = n / 12),
  (SELECT u FROM goods WHERE k = n % 12),
  round((35 + (n % 12) * 41.5 + (n % 5) * 3.25) * (SELECT f FROM grades WHERE k = n / 12), 2)
FROM seq;

-- 1500 invoices over two years
WITH seq(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM seq WHERE n < 1500)
INSERT INTO INVOICES (INV_ID, INV_NUM, INV_DATE, CUS_ID, INV_PAID, INV_NOTE)
SELECT n,
  'СЧ-' || printf('%05d', n),
  date('2023-01-09', '+' || ((n * 730) / 1500) || ' days'),
  1 + (n * 131) % 240,
  CASE WHEN n < 1400 AND n % 9 <> 0 THEN 1 ELSE 0 END,
  CASE WHEN n % 25 = 0 THEN 'Доставка за счёт покупателя' ELSE NULL END
FROM seq;

-- one to four lines per invoice
WITH seq(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM seq WHERE n < 4)
INSERT INTO INVOICE_LINES (INV_ID, PRD_ID, LIN_QTY, LIN_PRICE)
SELECT i.INV_ID, p.PRD_ID, 1 + (i.INV_ID * seq.n * 13) % 20, p.PRD_PRICE
FROM INVOICES i
JOIN seq ON seq.n <= 1 + (i.INV_ID * 7) % 4
JOIN PRODUCTS p ON p.PRD_ID = 1 + (i.INV_ID * 17 + seq.n * 29) % 48
ORDER BY i.INV_ID, seq.n;

UPDATE INVOICES SET INV_TOTAL =
  (SELECT round(SUM(LIN_QTY * LIN_PRICE), 2) FROM INVOICE_LINES l WHERE l.INV_ID = INVOICES.INV_ID);

-- sample reports for the SQL editor's grid
INSERT INTO SYS_REPORT VALUES ('Quarn', 'TSQLForm_SQLGrid', 'Список записей',
  '.REPORTHEADER' || char(13) || char(10) ||
  '\F1:14Список записей\F255:' || char(13) || char(10) ||
  '' || char(13) || char(10) ||
  '\F17:    №  Покупатель                                Город\F255:' || char(13) || char(10) ||
  '---------------------------------------------------------------------' || char(13) || char(10) ||
  '.PAGEHEADER' || char(13) || char(10) ||
  'Список записей                                          лист @PageNum' || char(13) || char(10) ||
  '\F17:    №  Покупатель                                Город\F255:' || char(13) || char(10) ||
  '---------------------------------------------------------------------' || char(13) || char(10) ||
  '.DETAIL' || char(13) || char(10) ||
  '@RECNUM:-5  @CUS_NAME:40  @CUS_CITY:20' || char(13) || char(10),
  'Д', 'P', 'Н', NULL);
INSERT INTO SYS_REPORT VALUES ('Quarn', 'TSQLForm_SQLGrid', 'Реестр счетов',
  '.REPORTHEADER' || char(13) || char(10) ||
  '\F1:14Реестр счетов\F255:' || char(13) || char(10) ||
  'на @CurDate' || char(13) || char(10) ||
  '' || char(13) || char(10) ||
  '\F17:Номер счета   Дата                     Сумма  Примечание\F255:' || char(13) || char(10) ||
  '------------------------------------------------------------------------------' || char(13) || char(10) ||
  '.PAGEHEADER' || char(13) || char(10) ||
  'Реестр счетов                                                    лист @PageNum' || char(13) || char(10) ||
  '\F17:Номер счета   Дата                     Сумма  Примечание\F255:' || char(13) || char(10) ||
  '------------------------------------------------------------------------------' || char(13) || char(10) ||
  '.DETAIL' || char(13) || char(10) ||
  '@INV_NUM:12  @INV_DATE:10  @INV_TOTAL:$18.2  @INV_NOTE:32' || char(13) || char(10) ||
  '.FOOTER1' || char(13) || char(10) ||
  '------------------------------------------------------------------------------' || char(13) || char(10) ||
  'Итого                     @INV_TOTAL:$18.2' || char(13) || char(10) ||
  'Счетов: @INV_TOTAL:-5.200' || char(13) || char(10),
  'Д', 'P', 'Н', 'invoices.prn');

INSERT INTO SYS_GRIDS VALUES ('Quarn', 'TSQLForm_SQLGrid', 'Клиенты из Москвы',
  'CUS_CITY=Москва', NULL, NULL, NULL);
