// Drives the administration pages in headless Chromium as an administrator would, through the
// component's own links and script calls: memberships, groups, an import, a site, and a profile
// administrator's sign-in. Script stored in names, reflected in a request or sent from a page on
// another port must not run. Saves a screenshot of the main pages. What the page test checks with
// hostile names and exact texts (a group's members, the guards, the refusals) is not repeated.
import { spawn, spawnSync } from 'node:child_process';
import http from 'node:http';
import { existsSync, mkdirSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import assert from 'node:assert/strict';

const here = path.dirname(fileURLToPath(import.meta.url));
const repo = path.resolve(here, '../..');
const chromiumPath = '/usr/bin/chromium';
if (!existsSync(chromiumPath)) {
  console.log(`skipped: ${chromiumPath} is not installed (scripts/install-deps.sh installs it)`);
  process.exit(0);
}
if (!existsSync(path.join(here, 'node_modules', 'playwright-core'))) {
  const ci = spawnSync('npm', ['ci', '--no-audit', '--no-fund', '--loglevel=error'],
                       { cwd: here, stdio: 'inherit' });
  if (ci.status !== 0) throw new Error('npm ci failed in tests/e2e');
}
const { chromium } = createRequire(import.meta.url)('playwright-core');

const bin = process.env.BRINDLECORE_BIN ?? path.join(repo, 'build', 'brindlecore');
const shots = process.env.BRINDLECORE_SCREENSHOTS ?? path.join(repo, 'docs', 'screenshots');
mkdirSync(shots, { recursive: true });
const root = mkdtempSync(path.join(tmpdir(), 'brindlecore-e2e-'));
const computer = 'E2EPC';
const password = 'brindle-demo';

function run(args) {
  const r = spawnSync(bin, ['--root', root, ...args], { encoding: 'utf8' });
  if (r.status !== 0) throw new Error(`brindlecore ${args.join(' ')}: ${r.stderr}`);
  return r.stdout;
}

run(['init', '--computer', computer, '--demo']);
// The first step's wrong password would make the next sign-in wait half a second.
writeFileSync(path.join(root, 'platform.conf'), 'signin.delay_ms = 0\n');
const server = spawn(bin, ['--root', root, 'serve', '--listen', '127.0.0.1:0'],
                     { stdio: ['ignore', 'pipe', 'inherit'] });
const base = await new Promise((resolve, reject) => {
  let out = '';
  server.on('exit', (code) => reject(new Error(`serve exited with ${code}`)));
  server.stdout.on('data', (chunk) => {
    const m = (out += chunk).match(/http:\/\/127\.0\.0\.1:\d+\//);
    if (m) resolve(m[0]);
  });
});

let failures = 0, steps = 0;
async function step(name, body) {
  steps++;
  try {
    await body();
    console.log(`ok   ${name}`);
  } catch (e) {
    failures++;
    console.log(`FAIL ${name}\n${e.stack}`);
  }
}

const profileDir = mkdtempSync(path.join(tmpdir(), 'brindlecore-chromium-'));
let context;
try {
  // A fresh profile in a temporary folder: nothing of a previous run leaks in.
  context = await chromium.launchPersistentContext(profileDir, {
    executablePath: chromiumPath,
    headless: true,
    viewport: { width: 1100, height: 720 },
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--no-first-run'],
  });
  const page = context.pages()[0] ?? await context.newPage();
  const message = () => page.locator('#bc-message').innerText();
  // A form post may land on the page it started from, so the URL alone does not show that the
  // answer has arrived: wait for the message itself, then compare it exactly.
  async function expectMessage(text) {
    await page.waitForFunction(
        (t) => document.querySelector('#bc-message')?.innerText === t, text, { timeout: 15000 })
        .catch(() => {});
    assert.equal(await message(), text);
  }
  // Clicks and waits for the page the click leads to.
  const follow = (selector, url) => Promise.all([page.waitForURL(url), page.click(selector)]);
  const shot = (name) => page.screenshot({ path: path.join(shots, `${name}.png`), fullPage: true });
  const pwned = () => page.evaluate(() => window.__pwned);

  async function signIn(user, pass, asProfile = false) {
    await page.goto(base + 'login.asp');
    await page.fill('#username', user);
    await page.fill('#password', pass);
    if (asProfile) await page.check('#as_profile');
    // The next document's load: the sign-in page itself is already loaded.
    await Promise.all([page.waitForEvent('load'), page.click('#signin')]);
  }

  await step('a wrong password is refused, the right one signs in', async () => {
    await signIn('admin', 'not-the-password');
    assert.match(await message(), /Logon failure: unknown user name or bad password\./);
    assert.match(page.url(), /login\.asp$/);
    await shot('signin-refused');
    await signIn('admin', password);
    assert.match(page.url(), /ProfileAdministrators\.asp$/);
    assert.equal(await page.locator('#profile-admins td', { hasText: 'Alice Archer' }).count(), 1);
    await shot('profile-administrators');
  });

  await step('userAdd adds the group chosen in its select; UserDelete.asp asks, then removes',
             async () => {
    const link = 'a[href="./UserDelete.asp?GroupName=QZW3SVC1&UserName=dave&RedirPage=' +
                 'ProfileAdministrators.asp"]';
    await page.selectOption('select#dave', 'QZW3SVC1');
    await follow('a[data-call=userAdd][data-arg=dave]', /ProfileAdministrators\.asp$/);
    await expectMessage('User dave added to group QZW3SVC1.');
    await follow(link, /UserDelete\.asp\?/);
    await follow('#confirm-remove-button', /ProfileAdministrators\.asp$/);
    await expectMessage('User dave removed from group QZW3SVC1.');
    assert.equal(await page.locator(link).count(), 0);
  });

  await step('editGroup.asp changes a description; a multi-site group is created', async () => {
    await page.goto(base + 'Groups.asp');
    await shot('profile-groups');
    await page.click('a.graybghl:text-is("QZW3SVC2")');
    await page.fill('#group-description', 'Shop team');
    await follow('#update-group', /Groups\.asp$/);
    await expectMessage('Group QZW3SVC2 updated.');
    assert.equal(await page.locator('#groups td:text-is("Shop team")').count(), 1);
    await page.fill('#multi-description', 'All shops');
    await follow('#add-multi button', /Groups\.asp$/);
    await expectMessage('Multi-site group created.');
    assert.equal(await page.locator('a.graybghl:text-is("QZMULTI2")').count(), 1);
  });

  await step('listUsers picks a user that userAdd then adds', async () => {
    await page.goto(base + 'Groups.asp');
    await follow('a[data-call=listUsers][data-arg=QZW3SVC3]', /ListUsers=QZW3SVC3/);
    await shot('user-picker');
    await page.click('a[data-call=updateField][data-arg=bob][data-arg2=QZW3SVC3]');
    await page.waitForFunction(() => document.getElementById('QZW3SVC3')?.value === 'bob',
                               null, { timeout: 15000 }).catch(() => {});
    assert.equal(await page.inputValue('input#QZW3SVC3'), 'bob');
    await follow('a[data-call=userAdd][data-arg=QZW3SVC3]', /Groups\.asp$/);
    await expectMessage('User bob added to group QZW3SVC3.');
    await page.goto(base + 'Users.asp');
    await shot('users');
  });

  await step('an import file is applied and its report shown, its lines as text', async () => {
    await page.goto(base + 'Import.asp');
    await page.setInputFiles('#import-file', { name: 'changes.txt', mimeType: 'text/plain',
      buffer: Buffer.from('+,alice,QZW3SVC2\n-,alice,QZW3SVC1\n-,dave,QZW3SVC1\n' +
                          '+,<img src=x onerror=window.__pwned=6>,QZW3SVC1\n') });
    await Promise.all([page.waitForEvent('load'), page.click('#import-submit')]);
    // The report's own texts are the page test's; here, that the browser's upload arrives whole.
    const report = await page.locator('#import-report').innerText();
    for (const line of ['File: changes.txt opened successfully.',
                        'User <img src=x onerror=window.__pwned=6> NOT added']) {
      assert.ok(report.includes(line), line);
    }
    assert.equal(await pwned(), undefined);
    await shot('import-report');
  });

  await step('a web site is created and started', async () => {
    await page.goto(base + 'Sites.asp');
    mkdirSync(path.join(root, 'www', 'blog'), { recursive: true });
    await page.fill('#create-site input[name=port]', '8090');
    await page.fill('#create-site input[name=root]', path.join(root, 'www', 'blog'));
    await page.fill('#create-site input[name=comment]', 'Blog');
    await follow('#create-site button', /Sites\.asp$/);
    await expectMessage('Web site 4 created.');
    const row = page.locator('#sites tr', { hasText: 'Blog' });
    await Promise.all([page.waitForURL(/Sites\.asp$/), row.locator('button').click()]);
    await expectMessage('Web site 4 started.');
    await shot('web-sites');
  });

  await step('stored and reflected names show as text and run nothing; no other port may ask', async () => {
    const [name, description, group] = ['<img src=x onerror="window.__pwned=1">',
                                        '<script>window.__pwned=2</script>',
                                        '<svg onload="window.__pwned=3">'];
    run(['user', 'add', computer, 'mallory', '--full-name', name, '--description', description]);
    run(['group', 'add', computer, 'QZW3SVC9', '--description', group]);
    for (const [p, table, text] of [['ProfileAdministrators.asp', '#profile-admins', name],
                                    ['Users.asp', '#users', description],
                                    ['Groups.asp', '#groups', group]]) {
      await page.goto(base + p);
      assert.equal(await page.locator(`${table} td`, { hasText: text }).count() > 0, true, p);
      assert.equal(await pwned(), undefined, p);
    }
    const payload = "x');window.__pwned=4;//<img src=x onerror=window.__pwned=5>";
    await page.goto(base + 'Groups.asp?ListUsers=' + encodeURIComponent(payload));
    assert.equal(await page.locator('#picker').innerText(), `Pick a user for ${payload}`);
    await page.click('a[data-call=updateField][data-arg=bob]');
    assert.equal(await pwned(), undefined);
    // A page on another port cannot open a page that reflects its query.
    const evil = http.createServer((req, res) => {
      res.setHeader('Content-Type', 'text/html');
      res.end(`<a id=go href="${base}Groups.asp?ListUsers=x">go</a>`);
    });
    await new Promise((resolve) => evil.listen(0, '127.0.0.1', resolve));
    try {
      await page.goto(`http://127.0.0.1:${evil.address().port}/`);
      const [response] = await Promise.all([page.waitForNavigation(), page.click('#go')]);
      assert.equal(response.status(), 403);
    } finally {
      evil.close();
    }
  });

  await step('a profile administrator\'s sign-in leads to their profiles', async () => {
    await page.goto(base + 'Default.asp');
    await follow('#bc-signout', /login\.asp$/);
    await signIn('carol', password, true);
    assert.match(page.url(), /Default\.asp$/);
    await shot('profiles');
  });
} finally {
  if (context) await context.close();
  server.kill('SIGTERM');
  rmSync(profileDir, { recursive: true, force: true });
  rmSync(root, { recursive: true, force: true });
}

console.log(`${steps - failures}/${steps} browser steps passed; screenshots in ${shots}`);
process.exit(failures === 0 ? 0 : 1);
