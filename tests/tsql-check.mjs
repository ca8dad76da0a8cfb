// Parses every statement the test run sent to a SQL Server slot, the way
// SQL Server would read it: each statement the database took must be exactly
// one T-SQL statement. Statements the database refused are the tests' own
// faults (a dropped table, an empty number) and are only counted: the tests
// check their error-log blocks. Usage: node tsql-check.mjs journal/*.jsonl
import { readFileSync } from 'node:fs';
import pkg from 'node-sql-parser';

const parser = new pkg.Parser();
const options = { database: 'TransactSQL' };
let checked = 0;
let refused = 0;
const failures = [];
const seen = new Set();

for (const file of process.argv.slice(2)) {
    let text;
    try {
        text = readFileSync(file, 'utf8');
    } catch {
        continue; // a shell glob that matched nothing
    }
    for (const line of text.split('\n')) {
        if (!line.trim()) continue;
        const { sql, accepted } = JSON.parse(line);
        if (!accepted) {
            refused++;
            continue;
        }
        if (seen.has(sql)) continue;
        seen.add(sql);
        checked++;
        try {
            const ast = parser.astify(sql, options);
            const count = Array.isArray(ast) ? ast.length : 1;
            if (count !== 1) failures.push(`${file}: ${count} statements: ${sql}`);
        } catch (e) {
            failures.push(`${file}: does not parse (${e.message.split('\n')[0]}): ${sql}`);
        }
    }
}

for (const f of failures) console.error(f);
console.log(`tsql: ${refused} statements refused by the database in the tests' fault cases, not parsed`);
console.log(`tsql: ${checked - failures.length} passed, ${failures.length} failed`);
process.exit(failures.length ? 1 : 0);
