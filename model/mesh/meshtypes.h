#pragma once

#include <cstddef>
#include <cstdint>

// Element types of every mesh array: positions in the file's own units
// (treated as millimetres), triangles as three vertex indices in the file's
// winding order. An index at or beyond the vertex count can occur in imported
// data; every consumer skips such a triangle.

// A world axis. The values are the array index of the coordinate, so an Axis
// converts to the component it names.
enum class Axis : int { X = 0, Y = 1, Z = 2 };

inline constexpr int axisIndex(Axis axis) { return static_cast<int>(axis); }
// A combo index or file value as an axis: below 0 is X, above 2 is Z.
inline constexpr Axis axisFromIndex(int index) { return index <= 0 ? Axis::X : (index >= 2 ? Axis::Z : Axis::Y); }
// "X", "Y" or "Z"; "?" for a value outside the three.
inline constexpr const char* axisName(Axis axis)
{
    return axis == Axis::X ? "X" : (axis == Axis::Y ? "Y" : (axis == Axis::Z ? "Z" : "?"));
}
// False for a value cast from an integer outside 0..2.
inline constexpr bool isValidAxis(Axis axis) { return axisIndex(axis) >= 0 && axisIndex(axis) <= 2; }

struct Vec3f {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    constexpr Vec3f() = default;
    constexpr Vec3f(float xv, float yv, float zv) : x(xv), y(yv), z(zv) {}

    float operator[](int axis) const { return axis == 0 ? x : (axis == 1 ? y : z); }
    float& operator[](int axis) { return axis == 0 ? x : (axis == 1 ? y : z); }
    float operator[](Axis axis) const { return (*this)[axisIndex(axis)]; }
    float& operator[](Axis axis) { return (*this)[axisIndex(axis)]; }

    friend constexpr Vec3f operator+(Vec3f a, Vec3f b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
    friend constexpr Vec3f operator-(Vec3f a, Vec3f b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
    friend constexpr Vec3f operator*(Vec3f a, float s) { return {a.x * s, a.y * s, a.z * s}; }
    friend constexpr bool operator==(Vec3f a, Vec3f b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
};

inline constexpr float dot(Vec3f a, Vec3f b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline constexpr Vec3f cross(Vec3f a, Vec3f b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

struct Triangle {
    std::uint32_t v[3] = {0, 0, 0};

    constexpr Triangle() = default;
    constexpr Triangle(std::uint32_t a, std::uint32_t b, std::uint32_t c) : v{a, b, c} {}

    std::uint32_t operator[](int i) const { return v[i]; }
    std::uint32_t& operator[](int i) { return v[i]; }

    // All three indices address an existing vertex.
    bool inRange(std::size_t vertexCount) const
    {
        return v[0] < vertexCount && v[1] < vertexCount && v[2] < vertexCount;
    }

    friend constexpr bool operator==(const Triangle& a, const Triangle& b)
    {
        return a.v[0] == b.v[0] && a.v[1] == b.v[1] && a.v[2] == b.v[2];
    }
};
