// The client in a real browser: Chromium (headless, driven by playwright-core)
// loads a page from one loopback port that reaches `pennaform serve` on
// another. As a trusted origin the page chooses Wang and signs with SignPkcs7
// and SignPkcs1, and openssl verifies both; as an untrusted origin the gated
// calls answer 1500 while GetVersion works; with no service running,
// connect rejects.
//
//   node browser_test.mjs PENNAFORM TESTCA WEB_DIR PAGE_DIR OUTPUT_DIR PLAYWRIGHT_DIR
import { execFileSync, spawn } from "node:child_process";
import { createRequire } from "node:module";
import fs from "node:fs";
import http from "node:http";
import net from "node:net";
import os from "node:os";
import path from "node:path";

const [pennaform, testca, webDir, pageDir, outputDir, playwrightDir] = process.argv.slice(2);
const { chromium } = createRequire(path.join(playwrightDir, "x.js"))("playwright-core");

const failures = [];
function check(what, ok, detail = "") {
  console.log((ok ? "ok   " : "FAIL ") + what + (ok || !detail ? "" : ": " + detail));
  if (!ok) failures.push(what);
}

const home = fs.mkdtempSync(path.join(os.tmpdir(), "pennaform-browser-"));
const certificates = path.join(home, "certificates");
fs.mkdirSync(certificates);
const file = (name) => path.join(certificates, name);
const run = (program, args) => execFileSync(program, args, { stdio: ["ignore", "pipe", "pipe"] });

// A static server for the page and the client, on a port of its own.
function serveStatic() {
  const files = {
    "/page.html": [path.join(pageDir, "page.html"), "text/html"],
    "/pennaform.js": [path.join(webDir, "pennaform.js"), "text/javascript"],
  };
  const server = http.createServer((request, response) => {
    const found = files[new URL(request.url, "http://127.0.0.1").pathname];
    if (!found) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { "Content-Type": found[1] }).end(fs.readFileSync(found[0]));
  });
  return new Promise((resolve) => server.listen(0, "127.0.0.1", () => resolve(server)));
}

// A loopback port nothing listens on (bound, then released).
function freePort() {
  return new Promise((resolve) => {
    const probe = net.createServer().listen(0, "127.0.0.1", () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
}

// The service, once it says where it listens.
function startService(port) {
  const child = spawn(pennaform, ["--home", home, "serve", "--port", String(port)],
                      { stdio: ["ignore", "pipe", "inherit"] });
  return new Promise((resolve, reject) => {
    let said = "";
    child.stdout.on("data", (chunk) => {
      said += chunk;
      if (said.includes("serving")) resolve(child);
    });
    child.on("exit", (code) => reject(new Error("pennaform serve ended with " + code)));
  });
}

const filter = "S_C=TW,S_O=Example Bank,S_OU=Retail,S_CN=Wang";
const text = "Pennaform browser test: the contract Wang signs";
let service;
let browser;
const servers = [];
try {
  run(testca, ["cert", "--ca", "--subject", "/C=TW/O=Browser Test Root", "--out", file("root.der"),
               "--key-out", file("root.key")]);
  run(testca, ["cert", "--subject", "/C=TW/O=Example Bank/OU=Retail/CN=Wang", "--serial", "0B",
               "--issuer-cert", file("root.der"), "--issuer-key", file("root.key"),
               "--out", file("wang.der"), "--key-out", file("wang.key")]);
  run(testca, ["install", "--home", home, "--store", "ROOT", "--cert", file("root.der")]);
  run(testca, ["install", "--home", home, "--store", "MY", "--cert", file("wang.der"),
               "--key", file("wang.key")]);
  run("openssl", ["x509", "-inform", "DER", "-in", file("root.der"), "-out", file("root.pem")]);
  // With dwFlags 0 the control signs the text as UTF-16LE, as Windows holds it.
  const signedBytes = Buffer.from(text, "utf16le");
  fs.writeFileSync(file("content.txt"), signedBytes);

  const trustedSite = await serveStatic();
  const untrustedSite = await serveStatic();
  servers.push(trustedSite, untrustedSite);
  const trustedOrigin = "http://127.0.0.1:" + trustedSite.address().port;
  const untrustedOrigin = "http://127.0.0.1:" + untrustedSite.address().port;
  run(pennaform, ["--home", home, "trust", "add", trustedOrigin]);

  browser = await chromium.launch({
    executablePath: process.env.PENNAFORM_CHROMIUM || "/usr/bin/chromium",
    headless: true,
    // As root (CI) Chromium refuses to start inside its own sandbox; a
    // container's small /dev/shm would crash its renderer.
    args: ["--disable-dev-shm-usage"].concat(
      process.getuid && process.getuid() === 0 ? ["--no-sandbox"] : []),
  });
  const openPage = async (origin) => {
    const page = await browser.newPage();
    page.on("console", (message) => console.log("page: " + message.text()));
    await page.goto(origin + "/page.html");
    await page.waitForFunction(() => window.pageReady === true);
    return page;
  };

  // No service yet: connect rejects with a clear error.
  const port = await freePort();
  const withoutService = await (await openPage(trustedOrigin))
    .evaluate((p) => window.connectWithoutService(p), port);
  check("with no service running, connect rejects with a PennaformError naming `pennaform serve`",
        withoutService.startsWith("PennaformError") && withoutService.includes("pennaform serve"),
        withoutService);

  service = await startService(port);

  const trustedPage = await openPage(trustedOrigin);
  const signed = await trustedPage.evaluate(([p, f, t]) => window.signAsTrustedPage(p, f, t),
                                            [port, filter, text]);
  fs.mkdirSync(outputDir, { recursive: true });
  await trustedPage.screenshot({ path: path.join(outputDir, "trusted-page-after-signing.png"),
                                 fullPage: true });
  check("trusted page: GetVersion answers the version",
        /^\d+\.\d+\.\d+\.\d+$/.test(signed.version.result || ""), JSON.stringify(signed.version));
  check("trusted page: SelectSigner chooses Wang (0, GetErrorCode 0)",
        signed.selected.result === 0 && signed.selected.errorCode === 0,
        JSON.stringify(signed.selected));
  check("trusted page: a call with too few arguments rejects and does not run",
        signed.wrongArity.startsWith("PennaformError") && signed.wrongArity.includes("SignPkcs7"),
        signed.wrongArity);

  check("trusted page: SignPkcs7 answers (GetErrorCode 0)",
        signed.pkcs7.errorCode === 0 && typeof signed.pkcs7.result === "string",
        JSON.stringify(signed.pkcs7));
  fs.writeFileSync(file("content.p7s"), Buffer.from(signed.pkcs7.result || "", "base64"));
  let verdict;
  try {
    run("openssl", ["cms", "-verify", "-binary", "-inform", "DER", "-in", file("content.p7s"),
                    "-CAfile", file("root.pem"), "-out", file("content.out")]);
    const content = fs.readFileSync(file("content.out"));
    verdict = content.equals(signedBytes) ? "" : "content " + content.toString("hex");
  } catch (error) {
    verdict = String(error.stderr || error);
  }
  check("openssl cms -verify accepts the page's PKCS#7 and finds the text in it", verdict === "",
        verdict);

  check("trusted page: SignPkcs1 answers (GetErrorCode 0)",
        signed.pkcs1.errorCode === 0 && /^[0-9A-Fa-f]+$/.test(signed.pkcs1.result || ""),
        JSON.stringify(signed.pkcs1));
  fs.writeFileSync(file("signer.der"), Buffer.from(signed.certificate.result || "", "base64"));
  fs.writeFileSync(file("content.sig"), Buffer.from(signed.pkcs1.result || "", "hex"));
  let pkcs1Verified = false;
  try {
    run("openssl", ["x509", "-inform", "DER", "-in", file("signer.der"), "-pubkey", "-noout",
                    "-out", file("signer.pub")]);
    // SHA-256 where the provider offers SHA-2, else SHA-1.
    for (const digest of ["-sha256", "-sha1"]) {
      try {
        run("openssl", ["dgst", digest, "-verify", file("signer.pub"), "-signature",
                        file("content.sig"), file("content.txt")]);
        pkcs1Verified = true;
        break;
      } catch {}
    }
  } catch {}
  check("openssl dgst -verify accepts the page's PKCS#1 signature with the signer's certificate",
        pkcs1Verified);

  const untrustedPage = await openPage(untrustedOrigin);
  const refused = await untrustedPage.evaluate((p) => window.callAsUntrustedPage(p), port);
  await untrustedPage.screenshot({ path: path.join(outputDir, "untrusted-page.png"),
                                   fullPage: true });
  for (const name of ["mac", "hash", "selected"]) {
    check("untrusted page: " + name + " answers 1500 through GetErrorCode",
          refused[name].errorCode === 1500, JSON.stringify(refused[name]));
  }
  check("untrusted page: GetVersion works before and after the refusals",
        refused.version.result === signed.version.result && refused.versionAfter.errorCode === 0 &&
          refused.versionAfter.result === signed.version.result,
        JSON.stringify([refused.version, refused.versionAfter]));
} catch (error) {
  check("the test ran to its end", false, error.stack || String(error));
} finally {
  if (browser) await browser.close();
  for (const server of servers) server.close();
  if (service) service.kill("SIGTERM");
  fs.rmSync(home, { recursive: true, force: true });
}
console.log(failures.length === 0 ? "all checks passed" : failures.length + " checks failed");
process.exit(failures.length === 0 ? 0 : 1);
