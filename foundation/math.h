// Double-precision value types of all simulation and drawing arithmetic.
// Row vectors throughout: world = local * M + position. World +Z is up.
// The formulas keep a fixed order of operations: results feed a deterministic
// simulation, so do not "simplify" them.
#pragma once
#include <cstdint>

struct Vec3 {
  double x, y, z;
};
struct Quat {  // Hamilton quaternion, scalar last; identity (0, 0, 0, 1)
  double x, y, z, w;
};
struct Mat3 {  // row-major; a rotation's rows are the rotated frame's axes in world
  double m[9];
};
struct Mat4 {  // row-major, row vectors, translation in elements 12..14
  double m[16];
};
struct Box {  // local bounds of a mesh with the world-space hull around them
  Vec3 localMin, localMax;
  Quat orientation;
  Vec3 worldMin, worldMax;
  bool empty;
};

inline Vec3 operator+(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator-(const Vec3& a) { return {-a.x, -a.y, -a.z}; }
inline Vec3 operator*(const Vec3& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline Vec3 operator*(double s, const Vec3& a) { return {a.x * s, a.y * s, a.z * s}; }
inline Vec3 operator/(const Vec3& a, double s) { return {a.x / s, a.y / s, a.z / s}; }
inline Vec3& operator+=(Vec3& a, const Vec3& b) { a.x += b.x; a.y += b.y; a.z += b.z; return a; }
inline Vec3& operator-=(Vec3& a, const Vec3& b) { a.x -= b.x; a.y -= b.y; a.z -= b.z; return a; }
inline Vec3& operator*=(Vec3& a, double s) { a.x *= s; a.y *= s; a.z *= s; return a; }
inline double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double LengthSq(const Vec3& a) { return a.x * a.x + a.y * a.y + a.z * a.z; }
double Length(const Vec3& a);

// v / |v|; exactly (0, 0, 1) when |v|^2 is 0.
Vec3 Normalize(const Vec3& v);

Quat QuatMul(const Quat& a, const Quat& b);
Quat QuatFromAxisAngle(const Vec3& axis, double angle);  // radians
Quat QuatInverse(const Quat& q);
Vec3 Rotate(const Quat& q, const Vec3& v);  // R(q) v, column-vector rotation
void Rotate(const Quat& q, Vec3& v);        // in place
Vec3 QuatToRotationVector(const Quat& q);   // axis * angle (radians)
Mat3 QuatToMat3(const Quat& q);             // R(q) transposed: rows are rotated axes
Mat4 QuatToMat4(const Quat& q);

Mat3 Mat3Add(const Mat3& a, const Mat3& b);
Mat3 Mat3Mul(const Mat3& a, const Mat3& b);
Mat3 Mat3Transpose(const Mat3& a);
Mat3 Mat3Inverse(const Mat3& a);  // no singularity test
Vec3 VecMulMat3(const Vec3& v, const Mat3& a);

Mat4 Mat4Identity();
Mat4 Mat4Mul(const Mat4& a, const Mat4& b);
Mat4 Mat4FromPose(const Vec3& p, const Quat& q);  // rotate, then translate by p
Mat4 Mat4RotateAboutPoint(const Vec3& p, const Vec3& axis, double angle);
Mat4 Mat4Inverse(const Mat4& a);

// Four hexadecimal digit characters to four floats in 0..1 (digit / 15).
void HexColour(char c1, char c2, char c3, char c4, float out[4]);

void BoxReset(Box& box);
void BoxExtend(Box& box, const Vec3& p);
void BoxExtend(Box& box, float x, float y, float z);
void BoxPlace(Box& box, const Vec3& p, const Quat& q);

double RandomRange(double a, double b);  // uses the C library's rand()
double Clamp(double x, double a, double b);  // bounds in either order
double SignAbove(double x);  // +1 above float epsilon, 0 at it, -1 otherwise
void Approach(double& value, double target, double step);
