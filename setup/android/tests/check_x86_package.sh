#!/usr/bin/env bash
# check_x86_package.sh PACKAGE: Android's verifier on the package that the real
# 32-bit installer built in the x86 tier (copied out by its scenario).
set -u
package=$1
[ -f "$package" ] || { echo "no package at $package (the x86 scenario did not build one)"; exit 1; }
out=$(apksigner verify --min-sdk-version 26 -v "$package" 2>&1)
echo "$out"
echo "$out" | grep -q "^Verified using v1 scheme (JAR signing): true" || { echo "apksigner did not verify the v1 signature"; exit 1; }
