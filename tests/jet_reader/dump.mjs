// node dump.mjs FILE: prints a Jet file as read by the npm mdb-reader package, in the
// table script that catalog-dump prints (TABLE / COLUMN / ROW), so the tests can compare
// a reader that Quorbix did not write with the script a catalog was built from.
import MDBReader from "mdb-reader";
import { readFileSync } from "fs";

const words = {
  long: "LONG", integer: "INT", byte: "BYTE", text: "TEXT", memo: "MEMO", currency: "MONEY",
  boolean: "BOOLEAN", double: "DOUBLE", float: "FLOAT", datetime: "DATE", repid: "GUID",
  numeric: "NUMERIC", ole: "OLE", bigint: "BIGINT", datetimextended: "DATETIME2",
};

// A number in plain positional notation with as few digits as give it back.
function fixed(digits) {
  const m = /^(-?)(\d)(?:\.(\d+))?e([+-]\d+)$/.exec(digits);
  if (!m) return digits;
  const [, sign, first, rest = "", exp] = m;
  const all = first + rest;
  const point = 1 + Number(exp);
  if (point <= 0) return `${sign}0.${"0".repeat(-point)}${all}`;
  if (point >= all.length) return sign + all + "0".repeat(point - all.length);
  return `${sign}${all.slice(0, point)}.${all.slice(point)}`;
}
function single(x) {
  for (let p = 1; p <= 9; ++p) {
    const s = x.toPrecision(p);
    if (Math.fround(Number(s)) === x) return fixed(Number(s).toExponential());
  }
  return fixed(x.toExponential());
}
const decimal = (s) => (s.includes(".") ? s.replace(/0+$/, "").replace(/\.$/, "") : s);
const escape = (s) => s.replace(/[\\\t\n\r]/g, (c) => ({ "\\": "\\\\", "\t": "\\t", "\n": "\\n", "\r": "\\r" })[c]);
const two = (n) => String(n).padStart(2, "0");

function cell(column, v) {
  if (column.type === "boolean") return v ? "1" : "0";
  if (v === null) return "\\N";
  switch (column.type) {
    case "currency": case "numeric": return decimal(v);
    case "double": return fixed(v.toExponential());
    case "float": return single(v);
    case "datetime":
      return `${String(v.getUTCFullYear()).padStart(4, "0")}-${two(v.getUTCMonth() + 1)}-${two(v.getUTCDate())} ` +
        `${two(v.getUTCHours())}:${two(v.getUTCMinutes())}:${two(v.getUTCSeconds())}`;
    case "repid": return `{${v.toUpperCase()}}`;
    // "yyyy.MM.dd HH:mm:ss.fffffffff", to the nanosecond the format keeps in hundreds
    case "datetimextended": return v.replace(/^(\d{4})\.(\d{2})\.(\d{2})/, "$1-$2-$3").replace(/(\.\d{7})\d*$/, "$1");
    case "ole": return v.toString("hex");
    case "text": case "memo": return escape(v);
    default: return String(v);
  }
}

const file = readFileSync(process.argv[2]);
const reader = new MDBReader(file);
const textUnit = file[0x14] === 0 ? 1 : 2;  // Jet 3 keeps a byte a character, Jet 4 two
const out = [];
for (const name of reader.getTableNames()) {
  const table = reader.getTable(name);
  const columns = table.getColumns();
  out.push(`TABLE ${name}`);
  for (const c of columns) {
    let line = `COLUMN ${c.name} ${words[c.type] ?? c.type}`;
    if (c.type === "text") line += ` ${c.size / textUnit}`;
    if (c.type === "numeric") line += ` ${c.precision} ${c.scale}`;
    if (c.autoLong) line += " AUTONUMBER";
    out.push(line);
  }
  for (const row of table.getData())
    out.push("ROW " + columns.map((c) => cell(c, row[c.name])).join("\t"));
}
process.stdout.write(out.join("\n") + "\n");
